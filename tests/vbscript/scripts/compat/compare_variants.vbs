' Numbers held in variables, results of expressions and function calls are not
' literals: comparing them with a non-numeric string never raises an error.
Dim n5, n10, x
n5 = 5: n10 = 10
WScript.Echo "variables: " & ("abc" = n5) & " " & ("abc" <> n5) & " " & ("010" = n10)
WScript.Echo "expressions: " & ("abc" = (5 + 0)) & " " & ("010" = (5 + 5)) & " " & ("010" = (10 * 1)) & " " & ("abc" = -5)
WScript.Echo "conversions: " & ("010" = CInt(10)) & " " & ("010" = CLng(10)) & " " & ("010" = CSng(10)) & " " & ("010" = CDbl(10))
WScript.Echo "words vs conversions: " & ("abc" = CInt(5)) & " " & ("abc" = CLng(5)) & " " & ("abc" = CSng(5)) & " " & ("abc" = CDbl(5))
WScript.Echo "same text: " & ("5" = CByte(5)) & " " & ("5" = CInt(5)) & " " & ("5" = CLng(5)) & " " & ("5" = CSng(5)) & " " & ("5" = CDbl(5)) & " " & ("5" = CCur(5))
WScript.Echo "reversed: " & (CByte(5) = "5") & " " & (CCur(5) = "5")
WScript.Echo "byte/currency: " & ("abc" = CByte(5)) & " " & ("abc" = CCur(5)) & " " & ("" = CByte(0)) & " " & ("" = CCur(0))
WScript.Echo "ordered as text: " & ("10" > CByte(5)) & " " & ("5" < CCur(10)) & " " & ("10" > CDbl(5)) & " " & ("10" > CSng(5)) & " " & ("9" < CDbl(10))

' A number is less than blank or control-character strings
Dim sp: sp = Space(3)
WScript.Echo "vs spaces: " & (Len("ab") > sp) & " " & (Len("ab") < sp) & " " & (Len("ab") = sp)
WScript.Echo "vs controls: " & (Len("ab") < Chr(9)) & " " & (Len("ab") < Chr(10)) & " " & (Len("ab") < Chr(13)) & " " & (Len("ab") < Chr(160))
WScript.Echo "vs low chars: " & (Len("ab") < Chr(0)) & " " & (Len("ab") < Chr(1)) & " " & (Len("ab") < Chr(31)) & " " & (Len("ab") < (Chr(0) & "5")) & " " & (Len("ab") < (" " & Chr(0)))
WScript.Echo "vs empty string: " & (Len("ab") > "")
Dim word: word = "ab"
On Error Resume Next
Err.Clear
If Len(word) > Space(3) Then x = Left(word, Space(3))
WScript.Echo "guarded Left error: " & Err.Number
On Error GoTo 0

Dim cdt: cdt = CDate("2024-01-15")
WScript.Echo "date variable: " & ("abc" = cdt)
Function GetFive()
  GetFive = 5
End Function
WScript.Echo "function result: " & ("abc" = GetFive())
Sub TakeByVal(ByVal v)
  WScript.Echo "byval param: " & ("abc" = v)
End Sub
Sub TakeByRef(ByRef v)
  WScript.Echo "byref param: " & ("abc" = v)
End Sub
TakeByVal 5
TakeByRef n5
Const FIVE = 5
WScript.Echo "constant: " & ("abc" = FIVE)

' Numbers sort before words
WScript.Echo "number vs word: " & (n5 < "a") & " " & (n5 > "a") & " " & (n5 = "a")
x = 3
If x = "y" Then WScript.Echo "x = y" Else WScript.Echo "x <> y, no error"

' Empty and Null
Dim e
WScript.Echo "empty: " & (e = 0) & " " & (e = "") & " " & (e = e) & " " & (e < 1) & " " & (Empty = Empty) & " " & (Empty <> Empty)
WScript.Echo "null: " & IsNull(0 = Null) & " " & IsNull(Null = 1) & " " & IsNull(0 > Null) & " " & IsNull(Null <= 1) & " " & IsNull(0 <> Null) & " " & IsNull(Null = Null)
WScript.Echo "numbers: " & (0 = 0.0) & " " & (16 = &h10&) & " " & (True = -1) & " " & (False = 0) & " " & ("x" = "x") & " " & ("true" <> True)
