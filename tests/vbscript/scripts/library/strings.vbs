' String functions
WScript.Echo Len("hello"), Len(""), IsNull(Len(Null)), Len(12345)
WScript.Echo Left("hello", 2), Right("hello", 3), Mid("hello", 2), Mid("hello", 2, 2), "[" & Mid("hi", 5) & "]"
WScript.Echo InStr("hello", "l"), InStr(4, "hello", "l"), InStr("hello", "z"), InStr("Hello", "h"), InStr(1, "Hello", "h", vbTextCompare), InStr("abc", "")
WScript.Echo InStrRev("hello", "l"), InStrRev("hello", "l", 3), InStrRev("abc", "z")
WScript.Echo Replace("a.b.c", ".", "-"), Replace("aAaA", "a", "x", 1, -1, vbTextCompare), Replace("abcabc", "b", "", 3), Replace("aaa", "a", "b", 1, 2)
Dim parts: parts = Split("a,b,,c", ",")
WScript.Echo UBound(parts), "[" & parts(2) & "]", Join(parts, "|"), UBound(Split("")), Join(Split("a b c"), "+"), UBound(Split("a,b,c", ",", 2))
WScript.Echo Join(Filter(Array("apple", "banana", "cherry"), "an")), Join(Filter(Array("apple", "banana"), "an", False))
WScript.Echo LCase("MiXeD"), UCase("MiXeD"), "[" & LTrim("  x  ") & "]", "[" & RTrim("  x  ") & "]", "[" & Trim("  x  ") & "]"
WScript.Echo "[" & Space(3) & "]", String(3, "ab"), String(2, 65), StrReverse("abc")
WScript.Echo StrComp("a", "b"), StrComp("b", "a"), StrComp("a", "a"), StrComp("A", "a", 1), IsNull(StrComp(Null, "a"))
WScript.Echo Chr(65), Asc("A"), Asc("abc"), AscW("a"), ChrW(97), Len(Chr(0)), Asc(Chr(255))
WScript.Echo Escape("a b&c"), Unescape("a%20b%26c")
WScript.Echo Hex(Asc(vbTab)), Len(vbCrLf), vbString, vbTextCompare, vbSunday, vbSaturday
