' Eval, Execute, ExecuteGlobal and GetRef
Dim x, r
Class HasDefault
  Public Default Function Text()
    Text = "True"
  End Function
End Class
Class RunsCode
  Public Default Function Code()
    Code = "x = 99"
  End Function
End Class
Class NoDefault
  Public Name
End Class

' Keep going past a failing line so that each line reports on its own
On Error Resume Next
WScript.Echo "eval: " & Eval("1 + 2") & " " & Eval("""test""") & " " & Eval("true") & " " & TypeName(Eval("1 = 1"))
x = 5
WScript.Echo "eval globals: " & Eval("x + 1") & " " & Eval("x * x") & " " & Eval("x = 5")
Sub EvalLocal
  Dim a: a = 10
  WScript.Echo "eval locals: " & Eval("a") & " " & Eval("a + 5")
End Sub
EvalLocal
Function EvalArg(v)
  EvalArg = Eval("v * 2")
End Function
WScript.Echo "eval argument: " & EvalArg(7)
WScript.Echo "eval non-strings: " & Eval(42) & " " & TypeName(Eval(42)) & " " & Eval(3.14) & " " & Eval(True) & " " & IsNull(Eval(Null)) & " " & IsEmpty(Eval(Empty)) & " " & Eval(New HasDefault)

ExecuteGlobal "x = 42"
WScript.Echo "ExecuteGlobal assigns: " & x
ExecuteGlobal "Function Seven : Seven = 7 : End Function"
WScript.Echo "ExecuteGlobal function: " & Seven()
ExecuteGlobal "Dim egVar : egVar = 42"
WScript.Echo "ExecuteGlobal Dim: " & egVar
Sub GlobalFromSub
  ExecuteGlobal "Dim fromSub : fromSub = 123"
End Sub
GlobalFromSub
WScript.Echo "ExecuteGlobal Dim in a Sub is global: " & fromSub
Execute "x = 99"
WScript.Echo "Execute at top level: " & x
Dim shadow: shadow = "global"
Sub ExecuteLocal
  Dim a, shadow
  a = 10
  Execute "a = 20"
  shadow = 10
  Execute "shadow = 55"
  Execute "Dim made : made = 20"
  WScript.Echo "Execute in a Sub: " & a & " " & shadow & " " & made
  Execute "Dim a"
  WScript.Echo "Dim of an existing local keeps it: " & a
End Sub
ExecuteLocal
WScript.Echo "locals did not leak: " & shadow & " " & TypeName(made)
Function ExecuteInFunction()
  Execute "Dim fv : fv = 55"
  ExecuteInFunction = fv
End Function
WScript.Echo "Execute Dim in a Function: " & ExecuteInFunction()
x = 0
Execute New RunsCode
WScript.Echo "Execute object default: " & x

Function Answer()
  Answer = 42
End Function
Function AddUp(a, b)
  AddUp = a + b
End Function
Dim total
Sub Accumulate(a, b)
  total = a + b
End Sub
Function CallIt(fn)
  CallIt = fn()
End Function
Dim ref
Set ref = GetRef("Answer")
WScript.Echo "GetRef: " & IsObject(ref) & " " & ref() & " " & CallIt(ref)
r = ref
WScript.Echo "GetRef default call: " & r & " " & TypeName(r)
Set ref = GetRef("ADDUP")
WScript.Echo "GetRef args, any case: " & ref(3, 4)
Set ref = GetRef("Accumulate")
Call ref(10, 20)
WScript.Echo "GetRef sub: " & total

On Error Resume Next
Err.Clear: r = Eval(New NoDefault): WScript.Echo "Eval object without default: " & Err.Number
Err.Clear: r = Eval(Nothing): WScript.Echo "Eval Nothing: " & Err.Number
Err.Clear: Execute 42: WScript.Echo "Execute number: " & Err.Number
Err.Clear: Execute Null: WScript.Echo "Execute Null: " & Err.Number
Err.Clear: ExecuteGlobal Empty: WScript.Echo "ExecuteGlobal Empty: " & Err.Number
Err.Clear: Execute New NoDefault: WScript.Echo "Execute object without default: " & Err.Number
Err.Clear: Call Eval("1 + "): WScript.Echo "Eval syntax error: " & Err.Number & " " & Err.Description & " | " & Err.Source
Err.Clear: Execute "x = ": WScript.Echo "Execute syntax error: " & Err.Number & " " & Err.Description & " | " & Err.Source
Err.Clear: Eval "Dim evalDim": WScript.Echo "Eval of a statement: " & Err.Number
Err.Clear: Call Eval("CBool(""notabool"")"): WScript.Echo "Eval run-time error: " & Err.Number & " | " & Err.Source
Err.Clear: Execute "Option Explicit : noDim = 101": WScript.Echo "Option Explicit in Execute: " & Err.Number
Err.Clear: ExecuteGlobal "Option Explicit": ExecuteGlobal "notDeclared = 123": WScript.Echo "Option Explicit does not carry over: " & Err.Number & " " & notDeclared
Err.Clear: Set ref = GetRef("NoSuchFunction"): WScript.Echo "GetRef unknown: " & Err.Number
Err.Clear: Set ref = GetRef(""): WScript.Echo "GetRef empty: " & Err.Number
Err.Clear: Set ref = GetRef(123): WScript.Echo "GetRef number: " & Err.Number
Err.Clear: Set ref = GetRef(Null): WScript.Echo "GetRef Null: " & Err.Number
Err.Clear: Call GetRef("Answer"): WScript.Echo "GetRef as a statement: " & Err.Number
On Error GoTo 0
