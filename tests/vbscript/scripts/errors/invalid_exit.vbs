Sub A()
End Sub
Exit Sub
