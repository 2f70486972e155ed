WScript.Echo "before"
If x = 1 Then
  x = (1 +
End If
