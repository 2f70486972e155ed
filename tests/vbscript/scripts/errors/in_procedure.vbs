Function Inner(v)
  Inner = v + 1
  Inner = Mid("abc", v)
End Function
Sub Outer()
  WScript.Echo Inner(1)
  WScript.Echo Inner(0)
End Sub
Outer
