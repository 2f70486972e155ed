' Sub/Function, ByRef/ByVal, Call, recursion, Exit, GetRef
Function Fib(n)
  If n < 2 Then
    Fib = n
    Exit Function
  End If
  Fib = Fib(n - 1) + Fib(n - 2)
End Function
Sub Swap(a, b)
  Dim t: t = a: a = b: b = t
End Sub
Sub NoTouch(ByVal a)
  a = 99
End Sub
Sub Early(x)
  If x Then Exit Sub
  WScript.Echo "not early"
End Sub
Dim p, q
p = 1: q = 2
Swap p, q
WScript.Echo p, q
Call Swap(p, q)
WScript.Echo p, q
NoTouch p
WScript.Echo p
Swap (p), q
WScript.Echo p, q
WScript.Echo Fib(15)
Early True
Early False
Dim f
Set f = GetRef("Fib")
WScript.Echo f(10)
Function NoResult()
End Function
WScript.Echo TypeName(NoResult()), IsEmpty(NoResult)
Function Counter()
  Static_ = 1
  Counter = "local " & Static_
End Function
WScript.Echo Counter()
