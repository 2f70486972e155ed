' Result subtypes, overflow promotion, integer division and rounding
Dim i: i = 32767
WScript.Echo TypeName(i), TypeName(i + 1), i + 1
Dim l: l = 2147483647
WScript.Echo TypeName(l + 1), l + 1
WScript.Echo TypeName(CByte(200) + CByte(55)), TypeName(CByte(200) + CByte(56))
WScript.Echo TypeName(1 + 1.5), TypeName(CSng(1.5) + 1), TypeName(10 / 2), 10 / 4
WScript.Echo 7 \ 2, -7 \ 2, 7.6 \ 2, 6.5 \ 2, 7 Mod 3, -7 Mod 3, 7.5 Mod 2
WScript.Echo CInt(2.5), CInt(3.5), CInt(-2.5), CLng(1.5), Round(2.5), Round(3.5), Round(2.125, 2)
WScript.Echo 2 ^ 10, TypeName(2 ^ 2), -2 ^ 2, 2 ^ -1
WScript.Echo "3" + 4, TypeName("3" + 4), "3" & 4, "a" + "b", 1 & 2 + 3
WScript.Echo TypeName(Empty + Empty), Empty + 5, IsNull(Null + 1), "x" & Null & "y"
WScript.Echo True + True, TypeName(True + 1), Not 0, Not True, TypeName(Not CByte(1))
WScript.Echo 5 And 3, 5 Or 3, 5 Xor 3, True Eqv False, False Imp True, True Imp False
WScript.Echo IsNull(Null And True), Null And False, Null Or True, IsNull(Null Or False)
WScript.Echo 1 + 2 * 3 ^ 2, (1 + 2) * 3, 10 - 2 - 3, 2 * 3 Mod 4, 1 < 2 And 2 < 3
WScript.Echo &HFF, &HFFFF, &H8000, &HFFFFFFFF, &O17, TypeName(&HFFFF), TypeName(&H10000), &HFFFF&
WScript.Echo TypeName(-32768), TypeName(32768), TypeName(2147483648), 1E3, 1.5E-7, 123456789012345678
WScript.Echo 0.1 + 0.2, 1 / 3, CDbl("1e20"), 100000 * 100000, CCur(1.23456), TypeName(CCur(1) * 2)
