Dim i, s
s = ""
For i = 1 To 100000
  s = s & "piece" & i
Next
WScript.Echo Len(s)
