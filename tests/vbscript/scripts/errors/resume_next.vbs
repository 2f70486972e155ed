' On Error Resume Next: where execution continues and how Err is kept and cleared
Sub Fails()
  WScript.Echo "in Fails"
  Dim z: z = 1 / 0
  WScript.Echo "not reached in Fails"
End Sub
Sub Guarded()
  On Error Resume Next
  Dim z: z = 1 / 0
  WScript.Echo "guarded continues " & Err.Number
  Exit Sub
End Sub
On Error Resume Next
Fails
WScript.Echo "after Fails " & Err.Number & " " & Err.Source
Err.Clear
Guarded
WScript.Echo "after Guarded " & Err.Number
Err.Raise 9
WScript.Echo Err.Number & " " & Err.Description
Err.Number = 0
WScript.Echo "cleared " & Err.Number
Dim i
For i = 1 To 3
  If i = 2 Then Err.Raise 5
  WScript.Echo "loop " & i & " " & Err.Number
Next
On Error GoTo 0
WScript.Echo "goto0 " & Err.Number
Dim a(1)
a(7) = 1
