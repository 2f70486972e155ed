' Scripting.Dictionary
Dim d, k
Set d = CreateObject("Scripting.Dictionary")
d.Add "b", 2
d.Add "a", 1
d("c") = 3
d.Item("b") = 20
WScript.Echo d.Count, d("b"), d.Item("a"), d.Exists("a"), d.Exists("A"), Join(d.Keys, ","), Join(d.Items, ",")
For Each k In d
  WScript.Echo "key " & k & "=" & d(k)
Next
d.Key("a") = "z"
WScript.Echo Join(d.Keys, ",")
d.Remove "b"
WScript.Echo Join(d.Keys, ","), d.Count
WScript.Echo IsEmpty(d("missing")), d.Count
d.Add 1, "one"
WScript.Echo d(1), d.Exists("1")
d.RemoveAll
WScript.Echo d.Count
d.CompareMode = vbTextCompare
d.Add "Key", "v"
WScript.Echo d.Exists("KEY"), TypeName(d)
On Error Resume Next
d.Add "key", "dup"
WScript.Echo Err.Number
Err.Clear
d.Remove "nope"
WScript.Echo Err.Number
