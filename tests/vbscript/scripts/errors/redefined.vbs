Dim a, b
Dim a
