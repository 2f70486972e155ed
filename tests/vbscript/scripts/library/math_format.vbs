' Math functions, Rnd, formatting
WScript.Echo Sqr(16), Exp(0), Log(1), Int(Sin(0)), Cos(0), Atn(1) * 4 > 3.14, Tan(0), Abs(-2.5)
WScript.Echo Round(1.5), Round(0.5), Round(-1.5), Round(1.2345, 2), TypeName(Round(1))
Randomize 1
Dim r1: r1 = Rnd
WScript.Echo r1 >= 0 And r1 < 1, Rnd(0) = r1
Rnd -1: Dim a1: a1 = Rnd
Rnd -1: Dim a2: a2 = Rnd
WScript.Echo a1 = a2
WScript.Echo FormatNumber(1234567.891), FormatNumber(1234.5, 0), FormatNumber(-0.5, 1), FormatNumber(0.25, 2, False), FormatNumber(-3, 1, , True)
WScript.Echo FormatPercent(0.256), FormatPercent(0.5, 0), FormatCurrency(1234.5), FormatCurrency(-2)
WScript.Echo FormatNumber(1000, 2, , , False)
