' Lexical forms: comments, separators, continuations, literals, case-insensitivity, operators
dim X : x = 1 : WSCRIPT.ECHO "case " & X ' trailing comment
REM whole-line Rem
x = x + _
    2 + _
    3
WScript.Echo "continued " & x
WScript.Echo "quote "" inside", "", Len("""")
WScript.Echo &H1F, &h1f, &O777, &777, 1.5e1, .5, #2020-03-04#
WScript.Echo 2 + 3 * 4 - 6 / 2, (2 + 3) * (4 - 6) / 2, 17 \ 5 * 2, 2 ^ 3 ^ 2, -3 ^ 2
WScript.Echo 1 = 1 And 2 = 2 Or False, Not False And False, True Xor True Or True
WScript.Echo 5 > 3 = True, "a" & 1 + 2 & "b", 3 Mod 2 ^ 2
WScript.Echo True Eqv True Imp False, False Imp False Eqv True
Dim y: y = 10: If y > 5 Then y = y - 1: WScript.Echo "multi " & y Else WScript.Echo "no"
If y = 9 Then WScript.Echo "nine" Else If y = 8 Then WScript.Echo "eight"
Call WScript.Echo("call form")
WScript.Echo("paren form")
Function F(a)
  F = a * 2
End Function
Call F(1)
WScript.Echo F(F(2)), F( 3 )
Dim arr(1): arr(0) = 1
WScript.Echo arr(0), arr( 0 )
