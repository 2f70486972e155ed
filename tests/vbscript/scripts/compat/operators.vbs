' Arithmetic, precedence and the comparison/logical operators
WScript.Echo "add/sub: " & (2 + 2) & " " & (False + 6 + True) & " " & (3 + 5 - True) & " " & (2 + Empty) & " " & (2 - Empty)
WScript.Echo "mod: " & (9 Mod 6) & " " & (11.6 Mod 5.5) & " " & (7 Mod 4 + 2) & " " & (-7 Mod 3) & " " & (Empty Mod 2)
WScript.Echo "int div: " & (5 \ 2) & " " & (4.6 \ 1.5) & " " & (4.6 \ 1.49) & " " & (2 + 3 \ 4) & " " & (-7 \ 2)
WScript.Echo "div: " & (3 / 2) & " " & (5 \ 4 / 2) & " " & (12 / 3 \ 2) & " " & (5 / 1000000 = 0.000005) & " " & (2 * 3)
WScript.Echo "power: " & (2 ^ 3) & " " & (2 ^ 3 ^ 2) & " " & (-3 ^ 2) & " " & (2 * 3 ^ 2) & " " & (-2 ^ 2) & " " & (4 ^ 0.5)
WScript.Echo "relational: " & (2 >= 2) & " " & (2 <= 2) & " " & (True >= 2) & " " & (False > True) & " " & (0 > True) & " " & (True > 0)
' The reversed spellings =>, =< and >< are accepted too (compiled through Eval
' so that a parser without them does not stop this program)
On Error Resume Next
WScript.Echo "reversed spellings: " & Eval("2 => 1") & " " & Eval("1 =< 2") & " " & Eval("2 >< 1") & " " & Eval("2 >< 2")
If Err.Number <> 0 Then WScript.Echo "reversed spelling error " & Err.Number
On Error GoTo 0
WScript.Echo "comparison chains: " & (0 > 1 = 1) & " " & (1 = 1 < 0) & " " & (1 < 2 = True)
WScript.Echo "not: " & (Not False = True) & " " & (Not 1 > 2) & " " & (Not False And False) & " " & (Not 1 = 2 And 3 = 3)
' Not may also start the right operand of a comparison
On Error Resume Next
WScript.Echo "not after comparison: " & Eval("True <> Not True") & " " & Eval("1 <> Not 0 = 0") & " " & Eval("0 = Not 1 = 1") & " " & Eval("1 > Not 5 > 3")
If Err.Number <> 0 Then WScript.Echo "not after comparison error " & Err.Number
On Error GoTo 0
WScript.Echo "logic: " & (False And False Or True) & " " & (True Or False And False) & " " & (True Or False Xor True) & " " & (True Xor False Or True) & " " & (False Eqv False) & " " & (True Imp False) & " " & (False Imp False)
WScript.Echo "bitwise: " & (12 And 10) & " " & (12 Or 3) & " " & (12 Xor 10) & " " & (Not 0) & " " & (Not 5) & " " & (6 Eqv 3) & " " & (6 Imp 3) & " " & (2 Xor -2)
WScript.Echo "concat: " & (1 & 100000) & " " & TypeName(1 & 100000) & " " & (True & False) & " [" & ("ab " & Null) & "] [" & ("ab " & Empty) & "]"

' Null propagation
WScript.Echo "null arith: " & TypeName(2 + Null) & " " & TypeName(2 - Null) & " " & TypeName(2 Mod Null) & " " & TypeName(Null Mod 2) & " " & TypeName(-Null) & " " & TypeName(Null & Null)
WScript.Echo "null logic: " & TypeName(Null And True) & " " & (False And Null) & " " & (True Or Null) & " " & TypeName(False Or Null) & " " & TypeName(False Eqv Null) & " " & (False Imp Null) & " " & TypeName(Not Null)
WScript.Echo "null ints: " & (CInt(0) And Null) & " " & TypeName(CInt(0) And Null) & " " & TypeName(CInt(5) And Null) & " " & TypeName(CInt(5) Xor Null) & " " & TypeName(CInt(5) Eqv Null) & " " & TypeName(CDate(-1) Imp Null) & " " & (Not CLng(0))
WScript.Echo "null byte imp: " & (CByte(0) Imp Null) & " " & TypeName(CByte(0) Imp Null) & " " & (CByte(170) Imp Null) & " " & (CByte(255) Imp Null) & " " & TypeName(CByte(255) Imp Null)
If Null Then WScript.Echo "if null taken" Else WScript.Echo "if null not taken"

' Division by zero, also through Empty
Dim r
On Error Resume Next
Err.Clear: r = 1 / 0: WScript.Echo "1/0: " & Err.Number
Err.Clear: r = 1 \ 0: WScript.Echo "1\0: " & Err.Number
Err.Clear: r = CInt(1) / Empty: WScript.Echo "1/Empty: " & Err.Number
Err.Clear: r = CInt(1) \ Empty: WScript.Echo "1\Empty: " & Err.Number
Err.Clear: r = CInt(3) Mod Empty: WScript.Echo "3 Mod Empty: " & Err.Number
Err.Clear: r = 32767 + CInt(1): WScript.Echo "overflow promotes: " & Err.Number & " " & r & " " & TypeName(r)
Err.Clear: r = CInt(32767) * CInt(2): WScript.Echo "int product: " & Err.Number & " " & r & " " & TypeName(r)
On Error GoTo 0
