' Execute, ExecuteGlobal, Eval, Const, On Error
Const Greeting = "hi", Answer = 42
Dim x
x = 5
WScript.Echo Eval("x * 2 + Answer"), Greeting
Execute "x = x + 1"
WScript.Echo x
ExecuteGlobal "Function Added(a) : Added = a + 100 : End Function"
WScript.Echo Added(1)
Sub Local()
  Dim y
  y = 3
  Execute "y = y * 7"
  WScript.Echo "local y " & y & " " & Eval("y + 1")
End Sub
Local
On Error Resume Next
Err.Raise 1000, "mine", "custom"
WScript.Echo Err.Number, Err.Source, Err.Description
Err.Clear
WScript.Echo Err.Number
Dim r: r = CInt("abc")
WScript.Echo Err.Number, Err.Description
If 1 / 0 = 5 Then WScript.Echo "error in If goes into the branch"
On Error GoTo 0
WScript.Echo Err.Number
