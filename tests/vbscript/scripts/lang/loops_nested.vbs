' Nested loops, Exit in inner loops, loop counters changed in the body, For Each over changing data
Dim i, j, s, count
s = ""
For i = 1 To 3
  For j = 1 To 3
    If j = 2 Then Exit For
    s = s & i & j & " "
  Next
Next
WScript.Echo s
count = 0
Do
  Do
    count = count + 1
    If count Mod 3 = 0 Then Exit Do
  Loop
  If count >= 9 Then Exit Do
Loop
WScript.Echo "count " & count
s = ""
For i = 1 To 10
  s = s & i & " "
  i = i + 2
Next
WScript.Echo s
s = ""
For i = 1.5 To 0 Step -0.5
  s = s & i & " "
Next
WScript.Echo s
Dim arr: arr = Array(1, 2, 3)
s = ""
For Each i In arr
  arr(2) = 99
  s = s & i & " "
Next
WScript.Echo s & arr(2)
Dim limit: limit = 3
s = ""
For i = 1 To limit
  limit = 1
  s = s & i
Next
WScript.Echo s
For i = 1 To 3
  Select Case i
    Case 2
      For j = 1 To 5
        If j = 2 Then Exit For
      Next
      WScript.Echo "case two j " & j
  End Select
Next
Function FindFirst(a, v)
  Dim k
  FindFirst = -1
  For k = 0 To UBound(a)
    If a(k) = v Then
      FindFirst = k
      Exit Function
    End If
  Next
End Function
WScript.Echo FindFirst(Array(5, 6, 7), 6), FindFirst(Array(5), 1)
