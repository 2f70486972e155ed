' Default members and how objects are passed and named inside classes
Dim obj, x
Class Sample
  Public Field
  Private mHidden
  Public Default Property Get Hidden
    Hidden = mHidden
  End Property
End Class
' Keep going past a failing line so that each line reports on its own
On Error Resume Next
Class DefaultSub
  Public Default Sub Run(a)
    WScript.Echo "default sub " & a
  End Sub
End Class
Set obj = New DefaultSub
obj.Run 1
obj(2)
obj 3
Class DefaultIndex
  Private items(1)
  Public Default Property Get Item(i)
    Item = items(i)
  End Property
  Public Sub Fill()
    items(0) = "hello": items(1) = "world"
    WScript.Echo "Me(index): " & Me(0) & " " & Me(1)
  End Sub
End Class
Set obj = New DefaultIndex
obj.Fill
WScript.Echo "default with index: " & obj(1)

Class DefaultFunc
  Public Default Function Run()
    WScript.Echo "default function as a statement"
  End Function
End Class
Set obj = New DefaultFunc
obj

' Property Let receives an object argument as the object itself
Class Receiver
  Public Kind, Got
  Public Property Let Take(v)
    Kind = IsObject(v)
    If IsObject(v) Then Set Got = v Else Got = v
  End Property
  Public Items(3)
End Class
Dim rc: Set rc = New Receiver
Set x = New Sample
x.Field = 7
rc.Take = x
WScript.Echo "let with an object: " & rc.Kind & " " & TypeName(rc.Got)
rc.Items(0) = "first"
WScript.Echo "array field: " & rc.Items(0) & " " & UBound(rc.Items) & " " & TypeName(rc.Items(1))

' Inside a class, a local Dim hides a global function and a private method
' hides a global function of the same name
Function Shared()
  Shared = "global"
End Function
Class Shadowing
  Private Function Shared()
    Shared = "private method"
  End Function
  Public Function FromMethod()
    FromMethod = Shared()
  End Function
  Public Function FromLocal()
    Dim Shared
    Shared = "local"
    FromLocal = Shared
  End Function
End Class
Dim sh: Set sh = New Shadowing
WScript.Echo "shadowing: " & sh.FromMethod() & " " & sh.FromLocal() & " " & Shared()
