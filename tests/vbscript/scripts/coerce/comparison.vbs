' Comparisons between subtypes: numbers, strings, Empty, Null, literals
Dim s, n, e
s = "10": n = 9
WScript.Echo s > n, n < s
WScript.Echo s = 10, "10" = n + 1, s = "10"
WScript.Echo "abc" < "abd", "B" < "a", "a" = "A", StrComp("a", "A", vbTextCompare)
WScript.Echo e = 0, e = "", IsEmpty(e), e < 1
WScript.Echo IsNull(Null = Null), IsNull(1 <> Null)
WScript.Echo 1 = 1.0, CSng(0.5) = 0.5, True = -1, False = 0
WScript.Echo #1/2/2020# < #1/3/2020#, CDate("2020-01-02") = #1/2/2020#
Dim o1, o2: Set o1 = CreateObject("Scripting.Dictionary"): Set o2 = o1
WScript.Echo o1 Is o2, o1 Is Nothing, Nothing Is Nothing
