' RegExp: defaults, Execute results, SubMatches and the Replace expansions
Dim re, ms, m
Set re = CreateObject("VBScript.RegExp")
WScript.Echo "defaults: [" & re.Pattern & "] " & re.IgnoreCase & " " & re.Global & " " & re.Multiline & " " & TypeName(re.Pattern) & " " & TypeName(re.Global) & " " & TypeName(re)
re.Pattern = "a+"
WScript.Echo "test: " & re.Test(" aabaaa")
Set ms = re.Execute(" aabaaa")
Set m = ms.Item(0)
WScript.Echo "first only: " & ms.Count & " " & TypeName(ms.Count) & " " & m.Value & " " & m.FirstIndex & " " & m.Length & " " & m.SubMatches.Count
re.Global = True
Set ms = re.Execute(" aabaaa")
WScript.Echo "global: " & ms.Count & " " & ms(0).Value & "@" & ms(0).FirstIndex & " " & ms(1).Value & "@" & ms(1).FirstIndex & " " & ms(1).Length
re.Global = False
re.Pattern = "^[^<]*(<(.|\s)+>)[^>]*$|^#(\w+)$"
WScript.Echo "no match: " & re.Execute(String(113, "x")).Count
re.Pattern = "(a|b)+|(c)"
Set m = re.Execute("aa")(0)
WScript.Echo "alternation: " & m.Value & " " & m.SubMatches.Count & " " & m.SubMatches(0) & " " & TypeName(m.SubMatches(1)) & " [" & m.SubMatches(1) & "] " & re.Test("  a ") & " " & re.Test("  a ")
re.Pattern = "\[([^\[]+)\]"
re.Global = True
Set m = re.Execute(" [test]  ")(0)
WScript.Echo "brackets: " & m.Value & " " & m.FirstIndex & " " & m.Length & " " & m.SubMatches(0)
re.Pattern = "Ab"
re.IgnoreCase = True
Set ms = re.Execute("abcaBc")
WScript.Echo "ignore case: " & ms.Count & " " & ms(0).Value & " " & ms(1).Value & "@" & ms(1).FirstIndex
re.IgnoreCase = False
re.Pattern = "a+b"
Set ms = re.Execute("aaabcabc")
WScript.Echo "repeats: " & ms.Count & " " & ms(0).Value & " " & ms(1).Value & "@" & ms(1).FirstIndex
re.Pattern = "\\"
Set ms = re.Execute("aaa\\cabc")
WScript.Echo "backslash: " & ms.Count & " " & ms(0).Value & "@" & ms(0).FirstIndex & " " & ms(1).FirstIndex
re.Pattern = "(a)(b)cabc"
Set m = re.Execute("abcabc")(0)
WScript.Echo "groups: " & m.Value & " " & m.SubMatches.Count & " " & m.SubMatches.Item(0) & " " & m.SubMatches(1)

Set re = New RegExp
WScript.Echo "empty pattern: " & re.Execute("test").Count & " [" & re.Execute("test")(0).Value & "]"
re.Global = True
WScript.Echo "empty pattern global: " & re.Execute("test").Count & " " & re.Test("test") & " " & re.Replace("xxx", "y")
re.Global = False
WScript.Echo "empty pattern replace: " & re.Replace("xxx", "y")

Function Rep(pattern, text, replacement, isGlobal)
  Dim r: Set r = New RegExp
  r.Pattern = pattern
  r.Global = isGlobal
  Rep = r.Replace(text, replacement)
End Function
WScript.Echo "replace: " & Rep("xxx", "xxxx", "y", True) & " | " & Rep("\[([^\[]+)\]", "- [test] -", "success", True) & " | " & Rep("\[([^\[]+)\]", "[test] [test]", "aa", True) & " | " & Rep("\[([^\[]+)\]", "[test] [test]", "aa", False)
WScript.Echo "after match: [" & Rep("(\&(\d))", "abc &1 123", "$'", True) & "] before match: [" & Rep("(\&(\d))", "abc &1 123", "$`", True) & "]"
WScript.Echo "missing group stays literal: [" & Rep("(\&(\d))", "abc &1 123", "$3", True) & "] [" & Rep("(a)", "xay", "$2|$1", True) & "]"
WScript.Echo "non-string replacement: [" & Rep("\[([^\[]+)\]", "- [test] -", True, True) & "] [" & Rep("\[([^\[]+)\]", "- [test] -", 6, True) & "]"
WScript.Echo "dollar escapes: [" & Rep("(\$(\d))", "$1,$2", "$$1-$1$2", True) & "] [" & Rep("b", "abc", "x$&z", True) & "]"
WScript.Echo "groups in replacement: [" & Rep("(\w+)@(\w+)", "ann@home bob@work", "$2:$1", True) & "]"
