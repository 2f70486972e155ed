Option Explicit
Dim x, i, s
x = 0
For i = 1 To 10
  x = x + i
Next
WScript.Echo "sum", x, TypeName(x)
s = "a"
s = s & "b" & 1
WScript.Echo s
Function Fact(n)
  If n <= 1 Then Fact = 1 Else Fact = n * Fact(n - 1)
End Function
WScript.Echo Fact(10), Fact(20)
Sub Inc(ByRef v) : v = v + 1 : End Sub
Dim k : k = 5 : Inc k : WScript.Echo k
Inc (k) : WScript.Echo k
Class Foo
  Private m
  Public Name
  Sub Class_Initialize : m = 3 : Name = "foo" : End Sub
  Sub Class_Terminate : WScript.Echo "bye " & Name : End Sub
  Public Property Get Val : Val = m : End Property
  Public Property Let Val(v) : m = v : End Property
  Public Default Function Twice(q) : Twice = q * 2 : End Function
End Class
Dim f : Set f = New Foo
f.Val = 10
WScript.Echo f.Val, f(4), f.Name
Set f = Nothing
WScript.Echo &HFFFF, &H10000, 32767 + 1, TypeName(32767+1), -2^2, 7 \ 2, 7 Mod 3, 2.5 \ 1, CInt(2.5), CInt(3.5)
Dim a(3), b
a(0) = 1 : a(3) = "x"
b = a : b(0) = 9
WScript.Echo a(0), b(0), UBound(a)
ReDim c(2) : c(2) = 5 : ReDim Preserve c(4) : WScript.Echo c(2), UBound(c)
Select Case 3
  Case 1, 2 : WScript.Echo "no"
  Case 3 : WScript.Echo "three"
  Case Else : WScript.Echo "else"
End Select
Dim d : Set d = CreateObject("Scripting.Dictionary")
d.Add "a", 1 : d("b") = 2
Dim kk
For Each kk In d : WScript.Echo kk, d(kk) : Next
WScript.Echo d.Count, Join(d.Keys, ","), #1/2/2020#, Now() > 0
On Error Resume Next
x = 1 / 0
WScript.Echo Err.Number, Err.Description
On Error GoTo 0
WScript.Echo Eval("1+2"), Len("abc"), Mid("hello", 2, 3), Replace("aXbXc", "X", "-")
Execute "WScript.Echo ""exec"""
x = 1 / 0
