' Long object chains and nested arrays are freed without deep recursion; strings have a size limit
Class N
 Public nx
End Class
Dim h, nn, i: Set h = Nothing
For i = 1 To 300000
 Set nn = New N
 Set nn.nx = h
 Set h = nn
Next
Set nn = Nothing
Set h = Nothing
Dim a
For i = 1 To 200000: a = Array(a): Next
a = Empty
WScript.Echo "ok"
Dim s: s = "x"
For i = 1 To 40: s = s & s: Next
