' Subtypes produced by the operators, especially with Empty operands:
' logical operators treat Empty as a Long 0, arithmetic ones as an Integer 0.
Sub Show(label, v)
  If IsNull(v) Then
    WScript.Echo label & ": Null"
  Else
    WScript.Echo label & ": " & v & " " & TypeName(v)
  End If
End Sub
Show "Empty And Empty", Empty And Empty
Show "Empty And CInt(5)", Empty And CInt(5)
Show "Empty And False", Empty And False
Show "Empty And Null", Empty And Null
Show "Empty Or CInt(5)", Empty Or CInt(5)
Show "Empty Or False", Empty Or False
Show "Empty Or Null", Empty Or Null
Show "Empty Xor CInt(5)", Empty Xor CInt(5)
Show "Empty Eqv Empty", Empty Eqv Empty
Show "Empty Imp Empty", Empty Imp Empty
Show "Empty Imp False", Empty Imp False
Show "Empty Imp Null", Empty Imp Null
Show "Not Empty", Not Empty
Show "CInt(5) And Empty", CInt(5) And Empty
Show "CInt(5) Or Empty", CInt(5) Or Empty
Show "CInt(0) Imp Empty", CInt(0) Imp Empty
Show "CInt(5) Imp Empty", CInt(5) Imp Empty
Show "False Imp Empty", False Imp Empty
Show "True Imp Empty", True Imp Empty
Show "Null Imp Empty", Null Imp Empty
Show "Empty + Empty", Empty + Empty
Show "Empty + CInt(5)", Empty + CInt(5)
Show "Empty + CLng(123456)", Empty + CLng(123456)
Show "Empty + CDbl(1.5)", Empty + CDbl(1.5)
Show "Empty + CCur(12.34)", Empty + CCur(12.34)
Show "Empty + False", Empty + False
Show "Empty - CInt(5)", Empty - CInt(5)
Show "CLng(7) - Empty", CLng(7) - Empty
Show "Empty * CInt(5)", Empty * CInt(5)
Show "Empty \ CInt(1)", Empty \ CInt(1)
Show "Empty Mod CInt(3)", Empty Mod CInt(3)
Show "Empty ^ CInt(2)", Empty ^ CInt(2)
Show "CInt(2) ^ Empty", CInt(2) ^ Empty
Show "-Empty", -Empty
Show "Empty & foo", Empty & "foo"
Show "False Or True", False Or True
Show "True + True", True + True
Show "CByte(1) + CByte(2)", CByte(1) + CByte(2)
Show "CByte(200) + CByte(100)", CByte(200) + CByte(100)
Show "CSng(1.5) + 1", CSng(1.5) + 1
Show "CCur(1.5) * 2", CCur(1.5) * 2
Show "6 / 2", 6 / 2
Show "7 \ 2", 7 \ 2
Show "CLng(7) \ 2", CLng(7) \ 2
Show "7.5 \ 2", 7.5 \ 2
Show "2 ^ 2", 2 ^ 2
Show "#1/2/2000# + 1", #1/2/2000# + 1
Show "#1/3/2000# - #1/1/2000#", #1/3/2000# - #1/1/2000#
Show """3"" + 4", "3" + 4
Show """3"" + ""4""", "3" + "4"
Show """3"" * ""4""", "3" * "4"
