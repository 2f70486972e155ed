' Indexed properties, array elements ByRef, With, Eval, literals
Dim x
x = 5
WScript.Echo "a" & vbTab & "b"
Class P
  Private items(3)
  Public Property Get Item(i) : Item = items(i) : End Property
  Public Property Let Item(i, v) : items(i) = v : End Property
  Public arr
  Sub Class_Initialize : arr = Array(1,2,3) : End Sub
End Class
Dim p1 : Set p1 = New P
p1.Item(2) = "two"
WScript.Echo p1.Item(2)
p1.arr(1) = 20
WScript.Echo p1.arr(1)
With p1
  .Item(1) = "one"
  WScript.Echo .Item(1)
End With
Dim a : a = Array(1, 2)
Sub Modify(v) : v = 100 : End Sub
Modify a(0)
WScript.Echo a(0)
WScript.Echo IsEmpty(undefinedThing)
Dim s : s = "x"
s = s & s & s
WScript.Echo s
Function RetObj() : Set RetObj = New P : End Function
WScript.Echo TypeName(RetObj())
Dim q : q = 10
q = -q
WScript.Echo q, 5 - -3, Not 5 = 3
If x = 5 Then : WScript.Echo "colon after then" : End If
x = 3 : If x Then WScript.Echo "truthy"
WScript.Echo Eval("x = 3"), Eval("Len(""ab"")")
Dim dd : Set dd = CreateObject("Scripting.Dictionary")
dd("k") = Array(1, 2)
WScript.Echo dd("k")(1)
WScript.Echo 1.0, 100000000000000000000, 3.0E-20, 2147483647 + 1
' Stop is a breakpoint; with no debugger it does nothing.
Stop
If True Then Stop Else WScript.Echo "not here"
WScript.Echo "after stop"
