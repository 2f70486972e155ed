For i = 1 To 3
  WScript.Echo i
