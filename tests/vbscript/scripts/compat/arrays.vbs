' Arrays: ReDim, Preserve, Erase, copies, enumeration order and errors
Dim x, y, i, s
' Keep going past a failing line so that each line reports on its own
On Error Resume Next
Dim fixed(3), grid(4, 3), single0(0), dynamic()
WScript.Echo "declared: " & UBound(fixed) & " " & UBound(grid, 1) & " " & UBound(grid, 2) & " " & UBound(single0) & " " & TypeName(fixed(0)) & " " & TypeName(dynamic) & " " & IsArray(dynamic)
x = Array(1)
ReDim x(4)
WScript.Echo "redim: " & UBound(x) & " " & TypeName(x(0))
x = 1
ReDim x(3)
x(0) = 1: x(1) = 2: x(2) = 4
ReDim Preserve x(1)
WScript.Echo "preserve shrink: " & UBound(x) & " " & x(0) & " " & x(1)
ReDim Preserve x(2)
WScript.Echo "preserve grow: " & UBound(x) & " " & TypeName(x(2))
ReDim x(-1)
WScript.Echo "empty range: " & LBound(x) & " " & UBound(x)
ReDim x(1, 3)
For i = 0 To 3: x(0, i) = "a" & i: x(1, i) = "b" & i: Next
ReDim Preserve x(1, 1)
WScript.Echo "preserve last dimension: " & UBound(x, 1) & " " & UBound(x, 2) & " " & x(0, 1) & " " & x(1, 1)
ReDim undeclaredArray(3)
undeclaredArray(3) = 10
WScript.Echo "redim declares: " & UBound(undeclaredArray) & " " & undeclaredArray(3)
ReDim dynamic(2)
dynamic(0) = "kept"
ReDim Preserve dynamic(5)
WScript.Echo "dynamic: " & UBound(dynamic) & " " & dynamic(0)
Dim p, q
ReDim p(1, 3), q(2)
WScript.Echo "redim list: " & UBound(p, 2) & " " & UBound(q)

' Assignment copies the array; functions return copies
Function MakeArray()
  Dim a(3)
  a(2) = 2
  MakeArray = a
  a(3) = 3
End Function
x = MakeArray()
WScript.Echo "returned copy: " & x(2) & " " & TypeName(x(3))
y = x: x(1) = "changed"
WScript.Echo "assignment copy: " & TypeName(y(1)) & " " & x(1)
Sub GrowByRef(ByRef a)
  ReDim Preserve a(7)
End Sub
ReDim p(5): p(3) = 2
GrowByRef p
WScript.Echo "redim through byref: " & UBound(p) & " " & p(3)

' For Each walks the first dimension fastest
For i = 0 To 4: For y = 0 To 3: grid(i, y) = i + y * 5: Next: Next
s = ""
For Each x In grid: s = s & x & ".": Next
WScript.Echo "enumeration: " & s
For Each x In dynamic: s = "ran": Next
Dim none(): s = "not run"
For Each x In none: s = "ran": Next
WScript.Echo "empty enumeration: " & s
WScript.Echo "chained: " & Array(10, 20, 30)(1) & " " & Split("1;2", ";")(1) & " " & Array(Array(3))(0)(0) & " " & MakeArray()(2) & " " & UBound(Array()) & " " & TypeName(Array())
x = Array(Array("a", 0))
x(0)(1) = 5
WScript.Echo "nested assignment: " & x(0)(1)

' Erase clears a fixed array and frees a dynamic one
fixed(0) = "a": fixed(1) = 2
Erase fixed
WScript.Echo "erase fixed: " & TypeName(fixed(0)) & " " & UBound(fixed)
Sub EraseRef(ByRef a)
  Erase a
End Sub
Sub EraseVal(ByVal a)
  Erase a
End Sub
Dim r1(2), r2(2): r1(0) = "hello": r2(0) = "world"
EraseRef r1: EraseVal r2
WScript.Echo "erase byref/byval: " & TypeName(r1(0)) & " " & r2(0)

Sub Report(label)
  WScript.Echo label & ": " & Err.Number
  Err.Clear
End Sub
Sub TryFixed
  On Error Resume Next
  Dim frozen(4)
  ReDim frozen(3): Report "redim fixed"
  ReDim Preserve frozen(5): Report "preserve fixed"
  WScript.Echo "fixed size kept: " & UBound(frozen)
End Sub
On Error Resume Next
Err.Clear
ReDim Preserve x(2, 2): Report "preserve changing dimensions"
ReDim x(1, 3): ReDim Preserve x(2, 3): Report "preserve first dimension"
TryFixed
x = Array(1): ReDim x("abc"): Report "redim to a word"
Dim twoD(3, 3), oneD(3)
y = twoD(0): Report "2-D with one index"
y = oneD(0, 0): Report "1-D with two indices"
twoD(0) = 1: Report "assign 2-D with one index"
y = none(0): Report "unallocated dynamic"
y = oneD(4): Report "past the end"
y = oneD(-1): Report "negative index"
ReDim dynamic(2): Erase dynamic: y = dynamic(0): Report "after erase"
x = 42: Erase x: Report "erase a number"
x = Empty: Erase x: Report "erase Empty"
Set x = New RegExp: Erase x: Report "erase an object"
x = 42: y = x(0): Report "index a number"
x = "hello": x(0) = 1: Report "assign index of a string"
x = Array(Nothing): x(0)(0) = 5: Report "index Nothing element"
x = Array(42): x(0)(0) = 5: Report "index number element"
y = LBound(Empty): Report "LBound Empty"
y = UBound(Null): Report "UBound Null"
y = UBound(oneD, 2): Report "UBound missing dimension"
y = UBound(oneD, 0): Report "UBound dimension 0"
For Each y In 42: Next: Report "for each over a number"
On Error GoTo 0
