' Dates: construction, parts, arithmetic and display (dd/mm/yyyy)
Dim d: d = DateSerial(2024, 2, 29)
WScript.Echo d, Year(d), Month(d), Day(d), Weekday(d), WeekdayName(Weekday(d)), MonthName(2), MonthName(2, True)
WScript.Echo DateAdd("d", 1, d), DateAdd("m", 1, DateSerial(2024, 1, 31)), DateAdd("yyyy", 1, d), DateAdd("h", 25, d)
WScript.Echo DateDiff("d", #1/1/2024#, #3/1/2024#), DateDiff("m", #1/31/2024#, #2/1/2024#), DateDiff("yyyy", #12/31/2023#, #1/1/2024#), DateDiff("n", #1/1/2024 10:00#, #1/1/2024 11:30#)
WScript.Echo DatePart("q", d), DatePart("y", d), DatePart("ww", #1/7/2024#), DatePart("w", d, vbMonday)
Dim t: t = TimeSerial(13, 5, 9)
WScript.Echo t, Hour(t), Minute(t), Second(t), TimeSerial(25, 0, 0)
WScript.Echo DateSerial(2024, 13, 1), DateSerial(2024, 3, 0), CDate("31/12/2020 23:59:59"), DateValue("5/6/2021"), TimeValue("7:08:09 PM")
WScript.Echo #12/30/1899#, CDate(1.5), CDbl(#1/1/2000#), d + 1, TypeName(d + 1), d - #2/1/2024#
WScript.Echo FormatDateTime(#2/29/2024 13:05:09#, vbLongDate), FormatDateTime(#2/29/2024 13:05:09#, vbShortDate), FormatDateTime(#2/29/2024 13:05:09#, vbShortTime), FormatDateTime(#2/29/2024 13:05:09#)
WScript.Echo IsDate("29/02/2023"), IsDate("29/02/2024"), IsDate(#1/1/2000#)
WScript.Echo Year(Now) > 2000, TypeName(Now), TypeName(Date), TypeName(Time), Timer >= 0
