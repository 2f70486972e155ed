' Empty and Null through operators and functions
Dim e, n
n = Null
WScript.Echo TypeName(e + 1), e + 1, "[" & e & "]", e * 5, TypeName(e & ""), Len(e), e = False
WScript.Echo IsNull(n + 1), IsNull(n & n), "a" & n, IsNull(-n), IsNull(Not n), IsNull(n = n), IsNull(n Mod 2)
WScript.Echo IsNull(Left(n, 1)), IsNull(UCase(n)), IsNull(Trim(n)), IsNull(Abs(n)), IsNull(Int(n)), IsNull(Year(n))
WScript.Echo VarType(n), VarType(e), IsEmpty(Empty), IsNull(Empty), IsEmpty(""), IsNull(""), IsEmpty(0)
If n Then WScript.Echo "null is true" Else WScript.Echo "null is not true"
If Not n Then WScript.Echo "not null is true" Else WScript.Echo "not null is not true"
Dim d: d = Array(e, "x")
WScript.Echo Join(d, "-") & "|", UBound(d)
On Error Resume Next
WScript.Echo CStr(n)
WScript.Echo Err.Number
Err.Clear
WScript.Echo Asc(n)
WScript.Echo Err.Number
