Option Explicit : : Dim first
' Statement syntax. Each construct is compiled on its own through ExecuteGlobal,
' so one that does not compile reports its error and the others still run.
Dim x, y
first = "option explicit with separators"
WScript.Echo first
x = _
    3
x _
    = x + 1
WScript.Echo "continuation: " & x

Sub TakeTwo(a, b)
  WScript.Echo "two: " & a & " " & b
End Sub
Sub TakeOne(a)
  WScript.Echo "one: " & a
End Sub
Class Checker
  Sub Check(a, b)
    WScript.Echo "method: " & a & " " & b
  End Sub
End Class
Function Lines(parts)
  Lines = Join(parts, vbCrLf)
End Function
Sub Try(label, code)
  On Error Resume Next
  ExecuteGlobal code
  If Err.Number <> 0 Then WScript.Echo label & ": error " & Err.Number & " " & Err.Description
End Sub

Try "separators", Lines(Array("x = ""a"" : : x = x & ""b"" :", ":: x = x & ""c""", "Rem a comment statement", "x = x & ""d"" : Rem trailing comment", "WScript.Echo ""separators: "" & x"))
Try "brackets", Lines(Array("Dim [my var], [], [dim]", "[my var] = 42: [] = ""empty name"": [dim] = 99", "WScript.Echo ""brackets: "" & [my var] & "" "" & [] & "" "" & [dim]"))
Try "bracketed counter", Lines(Array("Dim [loop var]: y = """"", "For [loop var] = 1 To 3: y = y & [loop var]: Next", "WScript.Echo ""bracketed counter: "" & y"))
Try "keywords as names", Lines(Array("Sub KeywordNames", "  Dim default, error, explicit, step, property", "  default = 1: error = 2: explicit = 3: step = 4: property = 5", "  WScript.Echo ""keywords as names: "" & default & error & explicit & step & property", "End Sub", "KeywordNames"))
Try "property as a loop counter", Lines(Array("Sub PropertyCounter", "  Dim Property", "  For Property = 1 To 2: Next", "  WScript.Echo ""property as a loop counter: "" & Property", "End Sub", "PropertyCounter"))
Try "long name", "Dim " & String(255, "a") & vbCrLf & String(255, "a") & " = 7" & vbCrLf & "WScript.Echo ""255-character name: "" & " & String(255, "a")
Try "end sub on the statement line", Lines(Array("Sub EndOnSameLine", "  x = ""end sub on the statement line"" End Sub", "EndOnSameLine", "WScript.Echo x"))
Try "end function on the statement line", Lines(Array("Function Doubled(v)", "  Doubled = v * 2 End Function", "WScript.Echo ""end function on the statement line: "" & Doubled(4)"))
Try "end class on the statement line", Lines(Array("Class Compact", "  Public v End Class", "Dim cc: Set cc = New Compact: cc.v = 1", "WScript.Echo ""end class on the statement line: "" & cc.v"))
Try "one-line sub", Lines(Array("Sub OneLine() x = ""one-line sub"" End Sub", "OneLine", "WScript.Echo x"))
Try "separators around sub", Lines(Array("Sub SeparatedSub : :", ": x = ""sub body after separators""", "End Sub : y = ""after end sub""", "SeparatedSub", "WScript.Echo x & "", "" & y"))
Try "class with separators", Lines(Array("Class SepClass : : Dim v", ":", "  Private Sub Class_Initialize : v = 1", "  End Sub ::", "  Public Function Add(ByVal a) :: :", "    v = v + a: Add = v", "  End Function :    End Class : ::   Dim sc: Set sc = New SepClass", "WScript.Echo ""class with separators: "" & sc.Add(5)"))
Try "else forms", Lines(Array("x = 1", "If False Then", "  x = 2", "Else x = 3:End If", "y = 1", "If False Then", "  y = 2", "Else:y = 3 End If", "If False Then", "  y = 5", "ElseIf True Then y = 4 End If", "WScript.Echo ""else forms: "" & x & y"))

' Parentheses right after a procedure name in a call statement
Try "paren times", "TakeTwo (2) * 8, 7"
Try "times paren", "TakeTwo 8 * (2), 7"
Try "paren plus", "TakeTwo (2) + 4, 7"
Try "paren concat", "TakeTwo (""hello"") & ""world"", 7"
Try "no space plus", "TakeOne(10 \ 2) + 1"
Try "no space add", "TakeOne(10)+5"
Try "no space multiply", "TakeOne(10)*3"
Try "no space power", "TakeOne(10)^2"
Try "no space concat", "TakeOne(""hi"")&""!"""
Try "no space mod", "TakeOne(10) Mod 3"
Try "no space compare", "TakeOne(10)<5"
Try "no space and", "TakeOne(1) And 1"
Try "no space, two args", "TakeTwo(10)*3, 7"
Try "nested call argument", "TakeOne Mid (""hello"", 2) & ""x"""
Try "method call", "Dim ck: Set ck = New Checker: ck.Check (2) * 8, 7"
Try "function with space", "x = CInt (2) + 1: WScript.Echo ""function with space before parenthesis: "" & x & "" "" & ((CInt (2) + 1) * 3) & "" "" & (CInt (2) * 3)"
Try "chained calls", Lines(Array("Class Chain", "  Public Function Ret()", "    Set Ret = Me", "  End Function", "End Class", "Dim ch: Set ch = New Chain", "ch.Ret().Ret()", "ch _", ".Ret() _", ".Ret()", "WScript.Echo ""chained calls: ok"""))
