' Date functions (dates shown in the fixed dd/mm/yyyy, 24-hour locale)
Function YMD(d)
  YMD = Year(d) & "-" & Month(d) & "-" & Day(d)
End Function
WScript.Echo "DateSerial years: " & YMD(DateSerial(100, 2, 1)) & " " & YMD(DateSerial(0, 2, 1)) & " " & YMD(DateSerial(50, 2, 1)) & " " & YMD(DateSerial(99, 2, 1)) & " " & YMD(DateSerial(9999, 12, 1))
WScript.Echo "DateSerial overflow: " & DateSerial(2000, 14, 2) & " " & DateSerial(2000, 3, 0) & " " & DateSerial(2000, 1, -1) & " " & TypeName(DateSerial(2000, 1, 1))
Dim d: d = DateSerial(2000, 1, 1)
Dim e: e = DateSerial(2000, 12, 31)
WScript.Echo "DateAdd: " & DateAdd("yyyy", 1, d) & " " & DateAdd("yYyy", 1, d) & " " & DateAdd("q", 1, d) & " " & DateAdd("M", -1, d) & " " & DateAdd("y", 1, e) & " " & DateAdd("D", 1, e) & " " & DateAdd("w", 1, e)
WScript.Echo "DateAdd back: " & DateAdd("y", -1, d) & " " & DateAdd("d", -1, d) & " " & DateAdd("W", -1, d) & " " & DateAdd("ww", 1, d) & " " & DateAdd("Ww", -1, d) & " " & IsNull(DateAdd("q", 1, Null))
WScript.Echo "DateAdd time: " & DateAdd("h", 36, d) & " " & DateAdd("n", -1, d) & " " & DateAdd("s", 90, d) & " " & DateAdd("m", 1, DateSerial(2001, 1, 31))
WScript.Echo "Weekday: " & Weekday(d) & " " & Weekday(d, vbSunday) & " " & Weekday(d, vbMonday) & " " & Weekday(d, vbTuesday) & " " & Weekday(d, vbWednesday) & " " & Weekday(d, vbThursday) & " " & Weekday(d, vbFriday) & " " & Weekday(d, vbSaturday) & " " & TypeName(Weekday(d)) & " " & IsNull(Weekday(Null, vbSunday))
WScript.Echo "WeekdayName: " & WeekdayName(1) & " " & WeekdayName(3) & " " & WeekdayName(7) & " " & WeekdayName(1.1) & " " & WeekdayName(1, False) & " " & WeekdayName(1, True) & " " & WeekdayName(1, 10)
WScript.Echo "WeekdayName first day: " & WeekdayName(1, True, 2) & " " & WeekdayName(1, True, 2.5) & " " & WeekdayName(1, True, 1.5) & " " & WeekdayName(1, True, 7) & " " & WeekdayName(1, True, 7.1) & " " & WeekdayName(2, False, vbMonday)
WScript.Echo "MonthName: " & MonthName(1) & " " & MonthName(12) & " " & MonthName(1, 0) & " " & MonthName(12, False) & " " & MonthName(1, 10) & " " & MonthName(12, True)
WScript.Echo "TimeSerial: " & TimeSerial(0, 0, 0) & " | " & TimeSerial(10, 2, 1) & " | " & TimeSerial(24, 2, 1) & " | " & TimeSerial(25, 2, 1) & " | " & TimeSerial(50, 2, 1) & " | " & TimeSerial(10, 60, 2) & " | " & TimeSerial(10, 0, 60)
WScript.Echo "parts of numbers: " & Day(2) & " " & Month(2) & " " & Year(2) & " " & Hour(2) & " " & Hour(2.75) & " " & Minute(2) & " " & Minute(2.02083) & " " & Second(2) & " " & TypeName(Day(2)) & " " & TypeName(Hour(2))
WScript.Echo "now: " & TypeName(Now()) & " " & TypeName(Date) & " " & TypeName(Time) & " " & TypeName(Year(Now)) & " " & (Date <= Now)
WScript.Echo "formats: " & FormatNumber(1234567.89) & " " & FormatCurrency(1234567.89) & " " & FormatPercent(0.1234) & " " & FormatCurrency(-1000, , , -1) & " " & FormatNumber(0.12, , , -1) & " " & FormatPercent(0.12, , , -1)

Dim r
Sub Report(label)
  WScript.Echo label & ": " & Err.Number
  Err.Clear
End Sub
On Error Resume Next
r = DateSerial(10000, 1, 1): Report "DateSerial 10000"
r = DateSerial(-10000, 1, 1): Report "DateSerial -10000"
r = DateSerial(Null, 1, 1): Report "DateSerial Null year"
r = DateSerial(2000, 1, Null): Report "DateSerial Null day"
r = DateAdd("k", 1, d): Report "DateAdd bad interval"
r = DateAdd(Null, 1, d): Report "DateAdd Null interval"
r = DateAdd("q", Null, d): Report "DateAdd Null number"
r = DateAdd("q", 1, Null): Report "DateAdd Null date"
r = Weekday(d, 10): Report "Weekday first day 10"
r = Weekday(d, -1): Report "Weekday first day -1"
r = Weekday(Null, -1): Report "Weekday Null, -1"
r = Weekday(d, Null): Report "Weekday Null first day"
r = Weekday(Null, "a"): Report "Weekday Null, word"
r = Weekday(d, "a"): Report "Weekday word first day"
r = MonthName(Null): Report "MonthName Null"
r = MonthName(1, Null): Report "MonthName Null abbreviate"
r = MonthName("a", Null): Report "MonthName word, Null"
r = TimeSerial(Null, 1, 1): Report "TimeSerial Null"
r = TimeSerial(10, 1, Null): Report "TimeSerial Null second"
r = FormatCurrency(Null): Report "FormatCurrency Null"
r = FormatCurrency(1000, Null): Report "FormatCurrency Null digits"
r = FormatPercent(0.1, 0, 0, 0, Null): Report "FormatPercent Null grouping"
r = FormatNumber(Null): Report "FormatNumber Null"
r = FormatNumber(0.1, 0, Null): Report "FormatNumber Null leading digit"
r = FormatDateTime(Null): Report "FormatDateTime Null"
r = FormatDateTime(0.1, Null): Report "FormatDateTime Null format"
On Error GoTo 0
