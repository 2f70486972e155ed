' Comparing a string with a numeric literal reads the string as a number.
Dim s
s = "0"
WScript.Echo "var ""0"" < 30: " & (s < 30) & ", > 30: " & (s > 30)
WScript.Echo """10"" > 9: " & ("10" > 9) & ", > 100: " & ("10" > 100) & ", < 100: " & ("10" < 100)
WScript.Echo """42"" = 42: " & ("42" = 42) & ", = 43: " & ("42" = 43)
WScript.Echo "30 > ""0"": " & (30 > "0") & ", 9 < ""10"": " & (9 < "10") & ", 42 = ""42"": " & (42 = "42")
WScript.Echo "two strings ""10"" > ""9"": " & ("10" > "9")
WScript.Echo "signs and blanks: " & ("+5" = 5) & " " & ("-0" = 0) & " " & ("05" = 5) & " " & (" 5" = 5) & " " & ("5 " = 5) & " " & ("5e0" = 5)
WScript.Echo "exponent and hex text: " & ("1e2" = 100) & " " & ("&hff" = 255) & " " & ("&H1F" = 31)

Sub CompareByRef(ByRef v)
  WScript.Echo "byref string vs literal: " & (v = 5) & " " & (v < 6)
End Sub
CompareByRef "5"

' Strings against Booleans compare as text with "True"/"False", exact case, no error
WScript.Echo "bool equal: " & ("True" = True) & " " & ("False" = False) & " " & ("True" = False) & " " & ("False" = True)
WScript.Echo "bool case/blank: " & ("true" = True) & " " & ("TRUE" = True) & " " & ("True " = True) & " " & (" True" = True)
WScript.Echo "bool digits: " & ("1" = True) & " " & ("-1" = True) & " " & ("0" = False) & " " & ("-1" = False)
WScript.Echo "bool other: " & ("abc" = True) & " " & ("" = True) & " " & ("" = False) & " " & (True = "True") & " " & (False = "False")
WScript.Echo "bool not equal: " & ("True" <> True) & " " & ("False" <> True)
WScript.Echo "bool order: " & ("True" > False) & " " & ("True" < False) & " " & ("False" > True) & " " & ("abc" > True)
WScript.Echo "chains: " & ("" = True = False) & " " & (False = True = "") & " " & (False = False <> False = False) & " " & ("" <> False = False)

' Text that is no number against a number literal: the number is less, and no error
' (the classic engine raises a type mismatch when both sides are literals).
Dim r
On Error Resume Next
Err.Clear: r = ("abc" = 5): WScript.Echo """abc"" = 5: " & Err.Number
Err.Clear: r = ("" = 5): WScript.Echo """"" = 5: " & Err.Number
Err.Clear: r = (" " = 0): WScript.Echo """ "" = 0: " & Err.Number
Err.Clear: r = ("abc" <> 5): WScript.Echo """abc"" <> 5: " & Err.Number
Err.Clear: r = ("abc" > 5): WScript.Echo """abc"" > 5: " & Err.Number
Err.Clear: r = ("" > 0): WScript.Echo """"" > 0: " & Err.Number
Err.Clear: r = (5 > "abc"): WScript.Echo "5 > ""abc"": " & Err.Number
Err.Clear: r = (5 < "a"): WScript.Echo "5 < ""a"": " & Err.Number
Err.Clear: r = ("abc" = 5.5): WScript.Echo """abc"" = 5.5: " & Err.Number
Err.Clear: r = ("abc" = 1e2): WScript.Echo """abc"" = 1e2: " & Err.Number
Err.Clear: r = ("abc" = &hff): WScript.Echo """abc"" = &hff: " & Err.Number
Err.Clear: r = ("abc" = 100000): WScript.Echo """abc"" = 100000: " & Err.Number
Err.Clear: r = ("abc" = #1/15/2024#): WScript.Echo """abc"" = date: " & Err.Number
On Error GoTo 0
WScript.Echo "done"
