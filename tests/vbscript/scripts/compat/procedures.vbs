' Procedures: argument passing, parentheses, names and illegal assignments
Dim x, y
Sub SetTrue(v)
  v = True
End Sub
Sub SetTrueByVal(ByVal v)
  v = True
End Sub
x = False: SetTrue x: WScript.Echo "byref default: " & x
x = False: SetTrueByVal x: WScript.Echo "byval: " & x
x = False: SetTrue (x): WScript.Echo "parenthesised argument is a copy: " & x
x = False: Call SetTrue(x): WScript.Echo "Call passes by reference: " & x
x = False: Call SetTrue((x)): WScript.Echo "Call with extra parentheses: " & x

Function SetFirst(a)
  a(0) = 2
  SetFirst = 1
End Function
x = Array(1): SetFirst x: WScript.Echo "array byref: " & x(0)
x = Array(1): SetFirst (x): WScript.Echo "array in parentheses: " & x(0)
x = Array(Array(3)): SetFirst x(0): WScript.Echo "nested element byref: " & x(0)(0)
x = Array(Array(3)): SetFirst (x(0)): WScript.Echo "nested element in parentheses: " & x(0)(0)
x = Array(1): SetTrue x(0): WScript.Echo "element byref: " & x(0)
x = Array(1): SetTrue (x(0)): WScript.Echo "element in parentheses: " & x(0)
On Error Resume Next
y = Empty
y = (SetFirst)(x)
WScript.Echo "call through parentheses: " & y & " " & Err.Number
On Error GoTo 0

' A Dim anywhere in a procedure makes the name local for the whole body
x = "global"
Sub UsesLaterDim
  x = "local"
  Dim x
End Sub
UsesLaterDim
WScript.Echo "later Dim: " & x
Const Ten = 10
Sub ParamHidesConst(Ten)
  WScript.Echo "param over const: " & Ten
End Sub
ParamHidesConst 42
Sub DimHidesConst
  Dim Ten: Ten = 43
  WScript.Echo "dim over const: " & Ten
End Sub
DimHidesConst

' Inside a function its name is the return value, not a recursive call
Function Recurse(stopNow)
  If stopNow Then Exit Function
  Recurse = 2
  Dim seen: seen = Recurse
  Recurse = seen & "-1"
  Call Recurse(True)
End Function
WScript.Echo "function name as variable: " & Recurse(False)
Function ExitNested()
  ExitNested = "early"
  For x = 1 To 3
    For y = 1 To 3
      Exit Function
    Next
  Next
  ExitNested = "late"
End Function
WScript.Echo "exit from nested loops: " & ExitNested() & " " & x & " " & y
Function NoReturn()
End Function
WScript.Echo "no return value: " & TypeName(NoReturn())
Sub TwoArgs(a, b)
  WScript.Echo "args: " & a & " " & b
End Sub
TwoArgs 1 = 1, 2
Sub OneArg(a)
  WScript.Echo "arg: " & a
End Sub
OneArg 1 = 1
OneArg Not 1 = 0

' Errors
Function Target()
  Target = 0
End Function
Sub TryAssignments
  On Error Resume Next
  Err.Clear: Ten = 99: WScript.Echo "assign to const: " & Err.Number & " " & Ten
  Err.Clear: Set Ten = Nothing: WScript.Echo "set const: " & Err.Number
  Err.Clear: TryAssignments = 10: WScript.Echo "assign to sub name: " & Err.Number
End Sub
TryAssignments
On Error Resume Next
Err.Clear: Target = 10: WScript.Echo "assign to function from outside: " & Err.Number
Err.Clear: TwoArgs 1: WScript.Echo "too few args: " & Err.Number
Err.Clear: TwoArgs 1, 2, 3: WScript.Echo "too many args: " & Err.Number
Err.Clear: y = Target(1): WScript.Echo "arg to function without params: " & Err.Number
Dim num: num = 42
Err.Clear: num: WScript.Echo "number as statement: " & Err.Number
Dim txt: txt = "hello"
Err.Clear: txt: WScript.Echo "string as statement: " & Err.Number
Dim nothingYet
Err.Clear: nothingYet: WScript.Echo "Empty as statement: " & Err.Number
On Error GoTo 0
