' Classes: fields, properties, default member, Me, With, lifetime
Class Account
  Private mBalance
  Public Owner
  Private Sub Class_Initialize()
    mBalance = 0
    WScript.Echo "init"
  End Sub
  Private Sub Class_Terminate()
    WScript.Echo "terminate " & Owner
  End Sub
  Public Property Get Balance()
    Balance = mBalance
  End Property
  Public Property Let Balance(v)
    If v < 0 Then Err.Raise 5
    mBalance = v
  End Property
  Public Default Function Describe()
    Describe = Owner & ":" & mBalance
  End Function
  Public Function Deposit(amount)
    Balance = Balance + amount
    Set Deposit = Me
  End Function
End Class
Class Node
  Public Value, NextNode
End Class
Dim acc, other
Set acc = New Account
acc.Owner = "ann"
acc.Deposit(10).Deposit 5
WScript.Echo acc.Balance, acc.Describe, acc
With acc
  .Owner = "bob"
  .Balance = .Balance * 2
  WScript.Echo .Describe()
End With
Set other = acc
Set acc = Nothing
WScript.Echo "still alive " & other.Owner
Set other = Nothing
WScript.Echo "gone"
Dim head, n, i
Set head = Nothing
For i = 1 To 3
  Set n = New Node
  n.Value = i
  Set n.NextNode = head
  Set head = n
Next
Set n = head
Do Until n Is Nothing
  WScript.Echo "node " & n.Value
  Set n = n.NextNode
Loop
WScript.Echo TypeName(head), IsObject(head), head Is head
Sub Scope()
  Dim tmp
  Set tmp = New Account
  tmp.Owner = "local"
End Sub
Scope
WScript.Echo "end"
