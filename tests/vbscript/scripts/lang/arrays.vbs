' Arrays: Dim, ReDim Preserve, Erase, multi-dimension, value copies, For Each
Dim a(2), b, m(1, 2), d(), i, j, s
a(0) = "x": a(1) = 2: a(2) = True
b = a
b(0) = "changed"
WScript.Echo a(0), b(0), UBound(a), LBound(a)
For i = 0 To 1
  For j = 0 To 2
    m(i, j) = i * 10 + j
  Next
Next
WScript.Echo m(1, 2), UBound(m, 1), UBound(m, 2)
ReDim d(1)
d(0) = "keep"
ReDim Preserve d(3)
WScript.Echo d(0), UBound(d), IsEmpty(d(3))
ReDim d(0)
WScript.Echo IsEmpty(d(0))
s = ""
For Each i In Array(3, 1, 2)
  s = s & i
Next
WScript.Echo s
Erase a
WScript.Echo UBound(a), IsEmpty(a(1))
Dim e: e = Array()
WScript.Echo UBound(e), IsArray(e), TypeName(e), VarType(e)
Dim nested: nested = Array(Array(1, 2), Array(3, 4))
WScript.Echo nested(1)(0)
Function MakeArr(n)
  ReDim r(n - 1)
  For i = 0 To n - 1: r(i) = i * i: Next
  MakeArr = r
End Function
WScript.Echo Join(MakeArr(4), "-")
