' Dictionary keys of several subtypes, objects as items, nested dictionaries
Dim d, inner, k, o
Set d = CreateObject("Scripting.Dictionary")
d.Add 1, "int one"
d.Add "1", "string one"
d.Add 2.5, "double"
d.Add True, "bool"
WScript.Echo d.Count, d(1), d("1"), d(2.5), d(True)
Set inner = CreateObject("Scripting.Dictionary")
inner("x") = 10
Set d("nested") = inner
WScript.Echo d("nested")("x"), TypeName(d.Item("nested"))
d("nested")("x") = 11
WScript.Echo inner("x")
Set o = New RegExp
d.Add o, "object key"
WScript.Echo d(o), d.Exists(New RegExp)
k = d.Keys
WScript.Echo TypeName(k(0)), TypeName(k(1)), UBound(k)
For Each k In d.Items
  If Not IsObject(k) Then WScript.Echo "item " & k
Next
