If 1 = 1
  WScript.Echo "x"
End If
