' Integer arithmetic, counters and assignments keep their types and values on the fast paths
Dim a, b, c, i, s
a = 32767: a = a + 1: WScript.Echo "Integer overflows to Long: " & a & " " & TypeName(a)
a = CInt(200): b = CInt(300): c = a * b: WScript.Echo "Integer product: " & c & " " & TypeName(c)
a = 2147483647: a = a + 1: WScript.Echo "Long overflows to Double: " & a & " " & TypeName(a)
a = -7: b = 2: c = a Mod b: WScript.Echo "Mod keeps the sign: " & c & " " & (a \ b) & " " & TypeName(c)
a = CLng(5): b = CInt(3): c = a - b: WScript.Echo "Long with Integer: " & c & " " & TypeName(c)
a = 1.5: b = 2: c = a + b: WScript.Echo "Double with Integer: " & c & " " & TypeName(c)
a = "4": c = a + 1: WScript.Echo "text operand: " & c & " " & TypeName(c)
On Error Resume Next
a = 7: b = 0: c = "kept": c = a Mod b
WScript.Echo "Mod by zero: " & Err.Number & " " & c
Err.Clear: c = a \ b: WScript.Echo "integer division by zero: " & Err.Number
On Error GoTo 0
s = 0
For i = 1 To 10
  s = s + i * 2 - i \ 3
  If i = 5 Then i = 8
Next
WScript.Echo "counter changed in the body: " & s & " " & i
For i = 32766 To 32768: Next
WScript.Echo "counter past Integer: " & i & " " & TypeName(i)
' Many globals, defined later than the code that uses them
For i = 1 To 600
  ExecuteGlobal "Dim g" & i & ": g" & i & " = " & i
Next
s = 0
For i = 1 To 600
  s = s + Eval("g" & i)
Next
WScript.Echo "600 globals: " & s & " " & g1 & " " & g600
' Assigning a part of a value to the variable that holds it
a = Array(Array(1, 2), 3)
a = a(0)
WScript.Echo "part of itself: " & a(1) & " " & UBound(a)
Class Watcher
  Private Sub Class_Terminate
    WScript.Echo "terminator sees: " & TypeName(w)
  End Sub
End Class
Dim w
Set w = New Watcher
w = 5
' Loops whose body is one integer assignment
Const K = 1
On Error Resume Next
For i = 1 To 3
  K = K + i
Next
WScript.Echo "constant in a loop: " & Err.Number & " " & K
On Error GoTo 0
Sub AddUp(ByRef x)
  Dim j
  For j = 1 To 5
    x = x + j
  Next
End Sub
s = 10: AddUp s: WScript.Echo "by reference: " & s
s = 32760
For i = 1 To 10: s = s + 1: Next
WScript.Echo "grows past Integer: " & s & " " & TypeName(s)
s = 1.5
For i = 1 To 2: s = s + i: Next
WScript.Echo "a Double on the way: " & s & " " & TypeName(s)
