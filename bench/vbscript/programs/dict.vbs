Dim d, i, hits
Set d = CreateObject("Scripting.Dictionary")
For i = 1 To 100000
  d.Add "k" & i, i
Next
hits = 0
For i = 1 To 100000
  If d.Exists("k" & i) Then hits = hits + d("k" & i)
Next
WScript.Echo d.Count, hits
