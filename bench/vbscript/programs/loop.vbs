Dim i, s
s = 0
For i = 1 To 10000000
  s = s + i Mod 7
Next
WScript.Echo s
