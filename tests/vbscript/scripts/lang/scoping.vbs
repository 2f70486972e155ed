' Global and local scope, implicit variables, shadowing, Public/Private declarations
Public shared
Private hidden
shared = "global"
hidden = 1
Dim counter
counter = 0
Sub Bump()
  counter = counter + 1
End Sub
Sub Shadow()
  Dim shared
  shared = "local"
  WScript.Echo "in Shadow: " & shared
End Sub
Sub Implicit()
  implicitLocal = 5
  WScript.Echo "implicit: " & implicitLocal
End Sub
Function UsesLater()
  UsesLater = definedLater * 2
End Function
Bump: Bump: Bump
WScript.Echo "counter " & counter
Shadow
WScript.Echo "after Shadow: " & shared
Implicit
WScript.Echo "outside: [" & implicitLocal & "]"
Dim definedLater
definedLater = 21
WScript.Echo UsesLater()
ExecuteGlobal "Dim fromExec : fromExec = 7"
Sub ReadExec()
  WScript.Echo "fromExec " & fromExec
End Sub
ReadExec
topImplicit = "made at top"
Sub ReadTop()
  WScript.Echo topImplicit
End Sub
ReadTop
Function Recurse(n)
  Dim own
  own = n
  If n > 0 Then Recurse = Recurse(n - 1) + own Else Recurse = 0
End Function
WScript.Echo Recurse(4)
