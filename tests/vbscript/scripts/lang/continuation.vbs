' Line continuations: "_" after a blank, or right after an operator, a comma or a bracket
Dim x, s
x =_
  5
WScript.Echo "after =: " & x
x = x *_
    2 +_
    1
WScript.Echo "after operators: " & x
s = "a" &_
    "b"
WScript.Echo "after &: " & s
WScript.Echo Join(Array(1,_
  2, _
  3), "-")
Dim a_b: a_b = 7
WScript.Echo "in a name: " & a_b
