' If forms, Select Case, loops and Exit
Dim i, s, n
If 1 < 2 Then WScript.Echo "single-line then"
If 1 > 2 Then WScript.Echo "no" Else WScript.Echo "single-line else"
If False Then
  WScript.Echo "no"
ElseIf 2 = 2 Then
  WScript.Echo "elseif"
Else
  WScript.Echo "no"
End If
For Each n In Array(1, 5, 9)
  Select Case n
    Case 1, 2: WScript.Echo "one or two"
    Case 5
      WScript.Echo "five"
    Case Else: WScript.Echo "other " & n
  End Select
Next
Select Case "x"
  Case "y", "x": WScript.Echo "letter"
End Select
s = ""
For i = 10 To 1 Step -3: s = s & i & " ": Next
WScript.Echo s & "| after " & i
s = ""
For i = 0 To 1 Step 0.25: s = s & i & ",": Next
WScript.Echo s
i = 0
Do While i < 3: i = i + 1: Loop
WScript.Echo "do while " & i
Do Until i = 0: i = i - 1: Loop
WScript.Echo "do until " & i
Do: i = i + 1: Loop While i < 5
WScript.Echo "loop while " & i
Do: i = i + 1: Loop Until i >= 7
WScript.Echo "loop until " & i
Do
  i = i + 1
  If i = 10 Then Exit Do
Loop
WScript.Echo "exit do " & i
While i > 8: i = i - 1: Wend
WScript.Echo "wend " & i
For i = 1 To 100
  If i = 4 Then Exit For
Next
WScript.Echo "exit for " & i
For i = 1 To 0
  WScript.Echo "never"
Next
WScript.Echo "empty for " & i
Rem a Rem comment
WScript.Echo "continued " & _
  "line"
