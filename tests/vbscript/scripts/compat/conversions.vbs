' Conversion functions: rounding (halves go to even), strings, Booleans, objects
Class Holder
  Public v
  Public Default Property Get Value
    Value = v
  End Property
End Class
Dim h: Set h = New Holder
' Keep going past a failing line so that each line reports on its own
On Error Resume Next

WScript.Echo "CInt: " & CInt(-36.75) & " " & CInt(-36.5) & " " & CInt(-36.25) & " " & CInt(0.5) & " " & CInt(1.5) & " " & CInt(2.5) & " " & CInt(36.5) & " " & CInt(36.75) & " " & CInt("-1") & " " & CInt(True) & " " & TypeName(CInt(0.5))
WScript.Echo "CInt limits: " & CInt(32767.49) & " " & CInt(-32768.5)
WScript.Echo "CLng: " & CLng(0.49) & " " & CLng(0.5) & " " & CLng(0.51) & " " & CLng(1.5) & " " & CLng(Empty) & " " & CLng(CCur(0)) & " " & CLng(True) & " " & TypeName(CLng(1))
WScript.Echo "CBool: " & CBool(5) & " " & CBool(0) & " " & CBool(-5) & " " & CBool(Empty) & " " & CBool(-0.56) & " " & CBool("0") & " " & CBool("0.1") & " " & CBool("true") & " " & CBool("FALSE") & " " & CBool("#TRUE#") & " " & CBool("#FALSE#")
WScript.Echo "CByte: " & CByte(Empty) & " " & CByte(255) & " " & CByte(255.49) & " " & CByte(True) & " " & CByte(False) & " " & CByte("-0.5") & " " & TypeName(CByte(1))
WScript.Echo "CCur: " & CCur(Empty) & " " & CCur(-32768) & " " & CCur(0.000149) & " " & CCur(2147483647.99) & " " & CCur("-1") & " " & CCur("-0.5") & " " & CCur(True) & " " & TypeName(CCur(1))
WScript.Echo "CDbl: " & CDbl(Empty) & " " & CDbl(32768) & " " & (CDbl(0.001 * 0.001) = 0.000001) & " " & CDbl("-0.5") & " " & CDbl(True) & " " & TypeName(CDbl(CCur(0)))
WScript.Echo "CSng: " & CSng(32768) & " " & CSng("-0.5") & " " & CSng(True) & " " & TypeName(CSng(0))
WScript.Echo "CDate: " & CDate(1) & " | " & CDate("1") & " | " & CDate(-1) & " | " & CDate(100000) & " | " & CDate(0) & " | " & TypeName(CDate(Empty)) & " " & CDbl(CDate(Empty))
WScript.Echo "CStr: " & CStr("test") & " " & CStr(3) & " " & CStr(3.5) & " " & CStr(True) & " " & TypeName(CStr(1))
h.v = 1
WScript.Echo "default value: " & CBool(h) & " " & CByte(h) & " " & CLng(h) & " " & CStr(h)
h.v = 2.5
WScript.Echo "default value 2.5: " & CInt(h) & " " & CDbl(h) & " " & Fix(h) & " " & Int(h)
h.v = 1.5
WScript.Echo "default value 1.5: " & CInt(h)

' Hex and Oct round to whole numbers first
WScript.Echo "Hex: " & Hex(0) & " " & Hex(16) & " " & Hex(&hdeadbeef&) & " " & Hex(-1) & " " & Hex(-16) & " " & Hex(-934859845) & " " & Hex(Empty) & " " & Hex("17") & " " & Hex(228.5)
WScript.Echo "Hex ranges: " & Hex(-32767) & " " & Hex(-32768) & " " & Hex(2147483647.49) & " " & Hex(-2147483647.5) & " " & TypeName(Hex(Null)) & " " & TypeName(Hex(Empty))
h.v = 30.5
WScript.Echo "Hex object: " & Hex(h)
h.v = "27"
WScript.Echo "Hex object text: " & Hex(h)
WScript.Echo "Oct: " & Oct(Empty) & " " & Oct(0) & " " & Oct(9) & " " & Oct("9") & " " & Oct(8.5) & " " & Oct(9.5) & " " & Oct(-1) & " " & Oct(-32767) & " " & Oct(-32768) & " " & Oct(2147483647.49) & " " & Oct(-2147483648.5) & " " & TypeName(Oct(Null))

' Errors
Dim r
On Error Resume Next
Err.Clear: r = CBool(""): WScript.Echo "CBool empty string: " & Err.Number
Err.Clear: r = CByte("-1"): WScript.Echo "CByte -1: " & Err.Number
Err.Clear: r = CByte("258"): WScript.Echo "CByte 258: " & Err.Number
Err.Clear: r = CByte("TRUE"): WScript.Echo "CByte TRUE: " & Err.Number
Err.Clear: r = CInt(32767.5): WScript.Echo "CInt 32767.5: " & Err.Number
Err.Clear: r = CInt(-32768.51): WScript.Echo "CInt -32768.51: " & Err.Number
Err.Clear: r = CLng("#TRue#"): WScript.Echo "CLng #TRue#: " & Err.Number
Err.Clear: r = CDbl(""): WScript.Echo "CDbl empty string: " & Err.Number
Err.Clear: r = CCur("FALSE"): WScript.Echo "CCur FALSE: " & Err.Number
Err.Clear: r = CSng("#fAlSE#"): WScript.Echo "CSng #fAlSE#: " & Err.Number
Err.Clear: r = CDate(""): WScript.Echo "CDate empty string: " & Err.Number
Err.Clear: r = CDate(Null): WScript.Echo "CDate Null: " & Err.Number
Err.Clear: r = CStr(Null): WScript.Echo "CStr Null: " & Err.Number & " " & Err.Description
Err.Clear: r = Hex(2147483647.5): WScript.Echo "Hex overflow: " & Err.Number
Err.Clear: r = Hex(2147483648.51): WScript.Echo "Hex overflow 2: " & Err.Number
Err.Clear: r = Hex("test"): WScript.Echo "Hex word: " & Err.Number
Err.Clear: r = Oct(-2147483648.51): WScript.Echo "Oct overflow: " & Err.Number
Err.Clear: r = Oct("test"): WScript.Echo "Oct word: " & Err.Number
' Calling a conversion with Call discards a value of an unsupported kind
Err.Clear: Call CInt(1): WScript.Echo "Call CInt: " & Err.Number
Err.Clear: Call CLng(1): WScript.Echo "Call CLng: " & Err.Number
Err.Clear: Call CDbl(1): WScript.Echo "Call CDbl: " & Err.Number
Err.Clear: Call CDate(1): WScript.Echo "Call CDate: " & Err.Number
Err.Clear: Call Abs(-4): WScript.Echo "Call Abs: " & Err.Number
On Error GoTo 0
