' On Error Resume Next: where execution continues when an expression fails
Const FAIL_CODE = 1234
Dim x, y, z, called
Function Fail()
  Err.Raise FAIL_CODE
End Function
Function Mark()
  called = True
  Mark = True
End Function
Class Prop
  Public Value
End Class
Class Bare
End Class

Sub Flow
  On Error Resume Next
  x = 6: called = False
  x = Fail() And Mark()
  WScript.Echo "assignment skipped: " & x & " " & called & " " & Err.Number
  Err.Clear: x = "else"
  If Fail() Then x = "then"
  WScript.Echo "failing If condition runs Then: " & x & " " & Err.Number
  Err.Clear: x = "none"
  If False Then
    x = "if"
  ElseIf Fail() Then
    x = "elseif"
  Else
    x = "else"
  End If
  WScript.Echo "failing ElseIf condition: " & x
  Err.Clear: x = False
  If False And Fail() Then x = True
  WScript.Echo "And still evaluates both sides: " & x & " " & Err.Number
  Err.Clear: x = 0
  Do While Fail()
    x = x + 1
    Exit Do
  Loop
  WScript.Echo "failing Do While enters: " & x
  Err.Clear: x = 0
  Do
    x = x + 1
  Loop While Fail()
  WScript.Echo "failing Loop While leaves: " & x
  Err.Clear: x = 0
  Do
    x = x + 1
  Loop Until Fail()
  WScript.Echo "failing Loop Until leaves: " & x
  Err.Clear: x = 0
  While x < 2
    x = x + 1
    Fail
  Wend
  WScript.Echo "statement errors inside While: " & x & " " & Err.Number
  Err.Clear: x = 2: y = 0
  For Each x In Fail()
    y = y + 1
  Next
  WScript.Echo "failing For Each runs once: " & x & " " & y & " " & Err.Number
  Err.Clear: x = 6: y = 0
  For x = Fail() To 100
    y = y + 1
  Next
  WScript.Echo "failing For start: " & x & " " & y & " " & Err.Number
  Err.Clear: x = 6: y = 0
  For x = 100 To Fail()
    y = y + 1
  Next
  WScript.Echo "failing For end: " & x & " " & y & " " & Err.Number
  Err.Clear: x = 6: y = 0
  For x = 1 / 0 To 100
    y = y + 1
  Next
  WScript.Echo "division by zero in For: " & x & " " & Err.Number
  Err.Clear: z = 99
  For z = 1 To UBound(Empty)
  Next
  WScript.Echo "UBound(Empty) in For: " & z & " " & Err.Number
  Err.Clear: y = 0
  For x = 1 To 5
    y = y + 1
    If x = 3 Then x = "not a number"
  Next
  WScript.Echo "counter made a string: " & y & " " & x & " " & Err.Number
  Err.Clear: x = "none"
  Select Case Fail()
    Case True: x = "true"
    Case False: x = "false"
    Case Empty: x = "empty"
    Case Else: x = "else"
  End Select
  WScript.Echo "failing Select expression runs no case: " & x & " " & Err.Number
  Err.Clear: x = "none"
  Select Case False
    Case True: x = "true"
    Case Fail(): x = "failing case"
    Case Else: x = "else"
  End Select
  WScript.Echo "failing Case value is taken: " & x
  Err.Clear: x = False
  With Fail()
    x = True
  End With
  WScript.Echo "failing With still runs its body: " & x & " " & Err.Number
  Err.Clear
  With New Bare
    .Value = 1
    WScript.Echo "missing member in With: " & Err.Number
  End With
  Err.Clear
  With New Prop
    With New Bare
      .Value = 1
      WScript.Echo "inner With only: " & Err.Number
    End With
  End With
  Err.Clear: y = False: z = False
  For Each x In Empty
    y = True
  Next
  z = True
  WScript.Echo "For Each over Empty: " & y & " " & z & " " & Err.Number
  x = 1
  Err.Clear: x = Nothing: WScript.Echo "value from Nothing: " & Err.Number & " " & x
  Err.Clear: x = Not Nothing: WScript.Echo "Not Nothing: " & Err.Number & " " & x
  Err.Clear: x = "" & Nothing: WScript.Echo "concatenate Nothing: " & Err.Number & " " & x
End Sub
Flow

' The error of a callee is kept when control returns to a resuming caller
Sub Inner(resume)
  If resume Then On Error Resume Next Else On Error GoTo 0
  x = 1
  Fail
  x = 2
End Sub
Sub Outer(resume)
  On Error Resume Next
  Inner resume
  WScript.Echo "after callee (resume " & resume & "): " & Err.Number & " x=" & x
End Sub
Outer True
Outer False
Sub ClearedByGoto0
  On Error Resume Next
  Fail
  WScript.Echo "before GoTo 0: " & Err.Number
  On Error GoTo 0
  WScript.Echo "after GoTo 0: " & Err.Number
End Sub
ClearedByGoto0
