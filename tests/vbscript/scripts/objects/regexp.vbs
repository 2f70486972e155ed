' RegExp: Test, Replace, Execute with SubMatches
Dim re, m, ms
Set re = New RegExp
re.Pattern = "(\w+)@(\w+)\.com"
WScript.Echo re.Test("mail bob@example.com now"), re.Test("nothing here")
re.Global = True
Set ms = re.Execute("a@x.com, b@y.com")
WScript.Echo ms.Count
For Each m In ms
  WScript.Echo m.Value, m.FirstIndex, m.Length, m.SubMatches(0), m.SubMatches(1)
Next
WScript.Echo re.Replace("a@x.com, b@y.com", "$2:$1")
re.Global = False
WScript.Echo re.Replace("a@x.com, b@y.com", "[$1]")
re.Pattern = "^abc"
re.IgnoreCase = True
WScript.Echo re.Test("ABCdef")
Set re = CreateObject("VBScript.RegExp")
re.Pattern = "\d+"
re.Global = True
WScript.Echo re.Replace("a1b22c333", "#"), re.Execute("x12y3")(1).Value
