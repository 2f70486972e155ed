' Class members: Property Set, default property with arguments, private access,
' Exit Property, array fields, objects passed to procedures
Class Box
  Private mItem, mList(2)
  Public Tag
  Public Property Set Item(o)
    Set mItem = o
  End Property
  Public Property Get Item()
    Set Item = mItem
  End Property
  Public Default Property Get Slot(i)
    If i < 0 Then
      Slot = "negative"
      Exit Property
    End If
    Slot = mList(i)
  End Property
  Public Property Let Slot(i, v)
    mList(i) = v
  End Property
  Private Function Secret()
    Secret = "secret"
  End Function
  Public Function Reveal()
    Reveal = Secret() & " via " & Me.Tag
  End Function
End Class
Dim b, inner
Set b = New Box
Set inner = New Box
inner.Tag = "inner"
Set b.Item = inner
WScript.Echo b.Item.Tag
b.Slot(1) = "one"
b(2) = "two"
WScript.Echo b(1), b.Slot(2), b(-1)
b.Tag = "outer"
WScript.Echo b.Reveal()
Sub Rename(box, name)
  box.Tag = name
End Sub
Rename inner, "renamed"
WScript.Echo b.Item.Tag
On Error Resume Next
WScript.Echo b.Secret()
WScript.Echo Err.Number
Err.Clear
b.Nope = 1
WScript.Echo Err.Number
Err.Clear
Dim c: c = b
WScript.Echo Err.Number
