' Classes: property procedures, default members, Me, With, lifetime and access
Dim calls, obj, x
Class Sample
  Public Field
  Public List
  Private mHidden
  Public Default Property Get Hidden
    Hidden = mHidden
    calls = calls & "[default get]"
  End Property
  Public Property Let Hidden(v)
  End Property
  Public Property Get Wrapped()
    Wrapped = mHidden
    calls = calls & "[get]"
    Exit Property
    calls = calls & "[never]"
  End Property
  Public Property Let Wrapped(v)
    mHidden = v
    calls = calls & "[let]"
  End Property
  Public Property Set Wrapped(v)
    calls = calls & "[set]"
  End Property
  Public Property Get Sum(a, b)
    Sum = a + b
  End Property
  Public Property Let Pair(a, b)
    mHidden = a & "+" & b
  End Property
  Public Sub Class_Initialize
    mHidden = True
    ReDim List(2)
    List(0) = 1: List(1) = 2
    calls = calls & "[init]"
  End Sub
  Private Function Secret()
    Secret = "secret"
  End Function
  Public Function Reveal()
    Reveal = Secret() & " via " & TypeName(Me)
  End Function
End Class

' Keep going past a failing line so that each line reports on its own
On Error Resume Next
calls = ""
Set obj = New Sample
WScript.Echo "created: " & calls & " " & TypeName(obj.Field) & " " & obj.List(1) & " " & obj.List("0") & " " & TypeName(obj.List(2))
calls = ""
WScript.Echo "property get: " & obj.Wrapped & " " & calls
calls = "": obj.Wrapped = 3: WScript.Echo "property let: " & calls & " " & obj.Wrapped
calls = "": Set obj.Wrapped = New Sample: WScript.Echo "property set: " & calls
calls = "": x = obj: WScript.Echo "default get: " & x & " " & calls
calls = "": WScript.Echo "default in expression: " & (obj = 3) & " " & (obj + 1) & " " & calls
WScript.Echo "property with arguments: " & obj.Sum(3, 4)
obj.Pair("old") = "new"
WScript.Echo "let with arguments: " & obj.Wrapped
WScript.Echo "private via method: " & obj.Reveal()
Err.Clear
Call obj.Class_Initialize
WScript.Echo "initialize called again: " & obj.Wrapped & " " & Err.Number
WScript.Echo "value of new object member: [" & (New Sample).Field & "]"

Class Lifetime
  Public Tag
  Public Sub Class_Terminate
    WScript.Echo "terminate " & Tag
  End Sub
End Class
Set obj = New Lifetime: obj.Tag = "one"
Set obj = Nothing
WScript.Echo "after release"
Set obj = New Lifetime: obj.Tag = "two"
Err.Clear
obj.Class_Terminate
WScript.Echo "explicit call done " & Err.Number
Set obj = Nothing

Set obj = New Sample
With obj
  .Field = "in with"
  WScript.Echo "with: " & .Field & " " & .Sum(1, 1)
End With
With New Sample
  .Field = 5
  WScript.Echo "with new: " & .Field
End With
Dim a, b: Set a = New Sample: Set b = a
WScript.Echo "identity: " & (a Is b) & " " & (a Is New Sample) & " " & (Not a Is Nothing) & " " & (Nothing Is Nothing)

On Error Resume Next
Err.Clear: obj.mHidden = 1: WScript.Echo "private field: " & Err.Number
Err.Clear: x = obj.Secret(): WScript.Echo "private function: " & Err.Number
Err.Clear: x = obj.Field(0): WScript.Echo "index a scalar field: " & Err.Number
Err.Clear: obj.Field(0) = 5: WScript.Echo "assign through index of a scalar field: " & Err.Number
Err.Clear: obj.Missing = 1: WScript.Echo "missing member: " & Err.Number
Err.Clear: Set obj.Pair("a") = Nothing: WScript.Echo "set on a let-only property: " & Err.Number
Dim notAClass: notAClass = 42
Err.Clear: Set x = New notAClass: WScript.Echo "new on a variable that is not a class: " & Err.Number
On Error GoTo 0
