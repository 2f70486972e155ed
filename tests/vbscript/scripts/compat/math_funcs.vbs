' Math functions: values and result subtypes
Class Holder
  Public v
  Public Default Property Get Value
    Value = v
  End Property
End Class
Dim h: Set h = New Holder
Function T(v)
  If IsNull(v) Then T = "Null" Else T = v & " " & TypeName(v)
End Function

WScript.Echo "Round: " & T(Round(3)) & ", " & T(Round(3.3)) & ", " & T(Round(3.5)) & ", " & T(Round(2.5)) & ", " & T(Round(-3.5)) & ", " & T(Round("2")) & ", " & T(Round(True))
WScript.Echo "Round digits: " & T(Round(3, 1)) & ", " & T(Round(3.8, 1)) & ", " & T(Round(-3.5, 1)) & ", " & T(Round(False, 1))
WScript.Echo "Fix: " & T(Fix(Empty)) & ", " & T(Fix(CCur(-0.99))) & ", " & T(Fix(1.99)) & ", " & T(Fix(-1.99)) & ", " & T(Fix("-1.99")) & ", " & T(Fix(True))
WScript.Echo "Int: " & T(Int(Empty)) & ", " & T(Int(CCur(-0.99))) & ", " & T(Int(1.99)) & ", " & T(Int(-1.99)) & ", " & T(Int("1.99")) & ", " & T(Int(False))
h.v = -2.5
WScript.Echo "Fix/Int object: " & T(Fix(h)) & ", " & T(Int(h))
WScript.Echo "Abs: " & T(Abs(Empty)) & ", " & T(Abs(Null)) & ", " & T(Abs(-32769)) & ", " & T(Abs(CSng(-0.5))) & ", " & T(Abs(CCur(-1))) & ", " & T(Abs("-1")) & ", " & T(Abs(True)) & ", " & T(Abs(CByte(1))) & ", " & T(Abs("30000"))
WScript.Echo "Sgn: " & T(Sgn(Empty)) & ", " & T(Sgn(-32769)) & ", " & T(Sgn(CSng(-0.5))) & ", " & T(Sgn(0.5)) & ", " & T(Sgn(CCur(-1))) & ", " & T(Sgn(CStr(-1))) & ", " & T(Sgn(True)) & ", " & T(Sgn(CByte(1)))
WScript.Echo "Sqr: " & T(Sqr(Empty)) & ", " & T(Sqr(1)) & ", " & T(Sqr(CSng(121))) & ", " & T(Sqr(36100)) & ", " & T(Sqr(CCur(0.0625))) & ", " & T(Sqr("100000000")) & ", " & T(Sqr(CByte(225)))
WScript.Echo "Cos: " & Round(Cos(Empty), 4) & " " & Round(Cos(True), 4) & " " & Round(Cos(CByte(255)), 4) & " " & Round(Cos("-32768"), 4) & " " & TypeName(Cos(CCur(1)))
WScript.Echo "Sin: " & Round(Sin(Empty), 4) & " " & Round(Sin(True), 4) & " " & Round(Sin(CByte(255)), 4) & " " & Round(Sin("-32768"), 4) & " " & TypeName(Sin(CSng(1)))
WScript.Echo "Tan: " & Round(Tan(False), 4) & " " & Round(Tan(True), 4) & " " & Round(Tan(CByte(255)), 4) & " " & Round(Tan("-32768"), 4) & " " & TypeName(Tan(0))
WScript.Echo "Atn: " & Round(Atn(Empty), 4) & " " & Round(Atn(True), 4) & " " & Round(Atn(CByte(255)), 4) & " " & Round(Atn("-32768"), 4) & " " & TypeName(Atn(0))
WScript.Echo "Exp: " & Round(Exp(Empty), 4) & " " & Round(Exp(1), 4) & " " & Round(Exp(CCur(-1)), 4) & " " & Round(Exp(CSng(0.5)), 4) & " " & Round(Exp("-2"), 4) & " " & Round(Exp(True), 4) & " " & Round(Exp(CByte(2)), 4) & " " & TypeName(Exp(0))
WScript.Echo "Log: " & Round(Log(1), 4) & " " & Round(Log(CCur(0.5)), 4) & " " & Round(Log(32768), 4) & " " & Round(Log("10"), 4) & " " & Round(Log(CByte(2)), 4) & " " & TypeName(Log(1))
WScript.Echo "RGB: " & (RGB(0, &h1f&, &hf1&) = &hf11f00&) & " " & (RGB(&hef&, &hab&, &hcd&) = &hcdabef&) & " " & (RGB(&h1&, &h100&, &h111&) = &hffff01&) & " " & TypeName(RGB(1, 2, 3)) & " " & RGB(255, 255, 255)

' Rnd: Rnd(0) repeats the last number, a negative argument reseeds
WScript.Echo "Rnd seed: " & (Rnd(0) = 327680 / 16777216) & " " & (Rnd(0) = 327680 / 16777216) & " " & TypeName(Rnd(0))
WScript.Echo "Rnd negative: " & (Rnd(-2) = Rnd(-2)) & " " & (Rnd(-1) <> Rnd(-2))
Dim a, b
Rnd(-1)
Randomize 123
a = Rnd()
Randomize 123
b = Rnd()
WScript.Echo "Randomize from current state: " & (a <> b)
Rnd(-1)
Randomize 123
b = Rnd()
WScript.Echo "Randomize after reseed: " & (a = b) & " " & (a >= 0 And a < 1)
WScript.Echo "Timer: " & TypeName(Timer)

Dim r
On Error Resume Next
Err.Clear: r = Sgn(Null): WScript.Echo "Sgn Null: " & Err.Number
Err.Clear: r = Abs("strings"): WScript.Echo "Abs word: " & Err.Number
Err.Clear: r = Sqr(-2): WScript.Echo "Sqr -2: " & Err.Number
Err.Clear: r = Sqr(True): WScript.Echo "Sqr True: " & Err.Number
Err.Clear: r = Log(0): WScript.Echo "Log 0: " & Err.Number
Err.Clear: r = Log(-2): WScript.Echo "Log -2: " & Err.Number
Err.Clear: r = Log(False): WScript.Echo "Log False: " & Err.Number
Err.Clear: r = RGB(-1, &h1e&, &h3b&): WScript.Echo "RGB -1: " & Err.Number
Err.Clear: r = RGB(&h4d&, -2, &h2f&): WScript.Echo "RGB -2: " & Err.Number
On Error GoTo 0
