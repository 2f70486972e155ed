' Many additions and removals keep order, counts and lookups right
Dim d, i, k, s, total
Set d = CreateObject("Scripting.Dictionary")
For i = 1 To 2000
  d.Add "k" & i, i
Next
For i = 1 To 2000
  If i Mod 3 <> 0 Then d.Remove "k" & i
Next
WScript.Echo "left: " & d.Count & " " & d.Exists("k3") & " " & d.Exists("k4") & " " & d("k2001") & " " & d.Count
d.Remove "k2001"
total = 0
For Each k In d.Keys
  total = total + d(k)
Next
WScript.Echo "sum of the thirds: " & total
s = ""
For Each k In d
  s = s & d(k) & " "
  If Len(s) > 20 Then Exit For
Next
WScript.Echo "order kept: " & s
d.Key("k3") = "first"
WScript.Echo "renamed in place: " & d.Keys()(0) & " " & d("first") & " " & d.Exists("k3")
For i = 1 To 500
  d("n" & i) = i: d.Remove "n" & i
Next
WScript.Echo "churn: " & d.Count & " " & d.Items()(d.Count - 1)
d.RemoveAll
d.Add 1, "one": d.Add "1", "text one"
WScript.Echo "after RemoveAll: " & d.Count & " " & d(1) & " " & d("1")
