' Control flow: procedures declared inside blocks, loop bounds, single-line forms
Dim x, y, z, s
' Procedures inside an If block that never runs are still defined, and they
' can be called before the block
Call InsideIf
If False Then
  Sub InsideIf
    WScript.Echo "sub from a skipped If"
  End Sub
  Function InsideIfFunc()
    InsideIfFunc = "function from a skipped If"
  End Function
End If
WScript.Echo InsideIfFunc()
If False Then Const SkippedConst = "const from a skipped If"
WScript.Echo SkippedConst
WScript.Echo "forward const: " & (ForwardConst = 99)
Const ForwardConst = 99
' The last definition of a name wins, even for calls made before it
WScript.Echo "duplicate: " & Twice()
Function Twice()
  Twice = 1
End Function
Sub Twice()
  WScript.Echo "never"
End Sub
Function Twice()
  Twice = 2
End Function

' For loops: bounds and step are evaluated once; the counter may be changed
s = "": For x = 5 To 3 Step True: s = s & x: Next: WScript.Echo "step True: " & s
s = "": z = 4: For x = 5 To z Step 3 - 4: s = s & x: z = 0: Next: WScript.Echo "limit changed: " & s
s = "": z = 1: For x = 5 To 8 Step z: s = s & x: z = 2: Next: WScript.Echo "step changed: " & s
s = "": For x = 5 To 8: s = s & x: x = x + 1: Next: WScript.Echo "counter changed: " & s & " after " & x
s = "": For x = "1" To "2": s = s & x: Next: WScript.Echo "string bounds: " & s
y = 0: For x = 1 To 2.5 Step "0.5": y = y + 1: Next: WScript.Echo "half steps: " & y
y = 0: For x = Empty To 3: y = y + 1: Next: WScript.Echo "from Empty: " & y & " " & x
y = 0: For x = 0 To Empty: y = y + 1: Next: WScript.Echo "to Empty: " & y & " " & x
y = 0: For x = 1.5 To 1: y = y + 1: Next: WScript.Echo "no pass: " & y & " " & x
Dim order
Function Track(v, tag)
  order = order & tag
  Track = v
End Function
For x = Track(1, "F") To Track(2, "T") Step Track(1, "S"): Next
WScript.Echo "evaluation order: " & order
Do While True
  For x = 1 To 10
    Exit Do
  Next
Loop
WScript.Echo "exit do from for: " & x

' Conditions
Function Truth(v)
  On Error Resume Next
  Truth = "F"
  If v Then Truth = "T" Else Truth = "f"
  If Err.Number <> 0 Then Truth = "error" & Err.Number
End Function
WScript.Echo "conditions: " & Truth("0") & " " & Truth("-1") & " " & Truth(0.1) & " " & Truth("TRUE") & " " & Truth("#TRUE#") & " " & Truth(Empty) & " " & Truth(&h10000&) & " " & Truth(Null) & " " & Truth("")
On Error Resume Next
s = "error"
s = Truth(Not "#FALSE#")
WScript.Echo "Not ""#FALSE#"": " & s
On Error GoTo 0
x = 0: While Null: x = 1: Wend: WScript.Echo "while Null: " & x

' Single-line If forms
If False Then x = 1 : WScript.Echo "never" Else x = "else"
WScript.Echo "single-line else: " & x
If True Then x = "then" Else x = "else" : WScript.Echo "never"
WScript.Echo "colon after else belongs to else: " & x
x = 1
If False Then
  x = 2
Else x = 3
End If
WScript.Echo "else followed by a statement: " & x
If False Then
  x = 2
ElseIf True Then x = 4
End If
WScript.Echo "elseif followed by a statement: " & x
If False Then x = 1 Else
WScript.Echo "empty else: ok"

' Select Case without separators after Case
Function Classify(v)
  Select Case v
    Case 0: Classify = 100
    Case 1  Classify = 200
    Case 2
      Classify = 300
    Case 3
    Case 4  Classify = 400
    Case Else Classify = 500
  End Select
End Function
WScript.Echo "select forms: " & Classify(0) & " " & Classify(1) & " " & Classify(2) & " [" & Classify(3) & "] " & Classify(4) & " " & Classify(5)
Select Case 2: Case 5, 6, 7: x = "wrong": Case 2, 1, 2, 4: x = "list": Case Else: x = "else": End Select
WScript.Echo "select on one line: " & x
x = 0
Do: x = x + 2 : Loop Until x = 4
WScript.Echo "do on one line: " & x
x = 0: While x < 3: x = x + 1: Wend
WScript.Echo "while on one line: " & x
