' Strings that read as numbers, and numbers shown as strings
Dim s
WScript.Echo "5" * "2", "5" - 2, "1.5" + 1, "&HA" + 0, " 7 " * 1, "1e2" / 4
WScript.Echo CInt("0012"), CLng(" -3 "), CDbl(".5"), CBool("False"), CInt(True), CInt(False)
WScript.Echo IsNumeric(" 12 "), IsNumeric("1e5"), IsNumeric("-"), IsNumeric(""), IsNumeric("&H1G")
WScript.Echo 10 & "", 1.25 & "", -0.5 & "", 1E+100 & "", 12345678901234 & "", CSng(3.14159) & ""
WScript.Echo "10" < "9", 10 < 9, "10" < 9
s = "9"
WScript.Echo s < 10, s = 9, s > 10
WScript.Echo 255 = "255", "abc" > "5"
On Error Resume Next
Dim x: x = "abc" + 1
WScript.Echo Err.Number
