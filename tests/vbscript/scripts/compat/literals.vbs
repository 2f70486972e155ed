' Numeric literals: values and the subtype each one gets
WScript.Echo "decimal: " & 010 & " " & 10. & " " & .5 & " " & .5e1 & " " & 34e5 & " " & 34e+5 & " " & 34E1 & " " & 34e0
WScript.Echo "fractions: " & 56.789e5 & " " & 56.789e-2 & " " & 1e-94938484 & " " & (56.789e-2 = 0.56789)
WScript.Echo "types: " & TypeName(0) & " " & TypeName(1) & " " & TypeName(32767) & " " & TypeName(32768) & " " & TypeName(2147483647) & " " & TypeName(2147483648)
WScript.Echo "float types: " & TypeName(0.5) & " " & TypeName(.5) & " " & TypeName(0.0) & " " & TypeName(1e2) & " " & TypeName(1e0) & " " & TypeName(0.1e2) & " " & TypeName(#1/1/2011#)

' Hex: up to four digits is a 16-bit value, the & suffix allows 32 bits,
' and the result is an Integer whenever the value fits one.
WScript.Echo "hex short: " & &hff & " " & &Hff & " " & &hffff & " " & &hfffe & " " & &h7fff & " " & &h8000
WScript.Echo "hex long: " & &hffff& & " " & &hfffe& & " " & &hffffffff& & " " & &hffFFffFE& & " " & &h10000& & " " & &h7fffffff&
WScript.Echo "hex types: " & TypeName(&h10&) & " " & TypeName(&h10000&) & " " & TypeName(&hFFFFFFFF&) & " " & TypeName(&hffFFffFE&) & " " & TypeName(&hffF&) & " " & TypeName(&hffFF&) & " " & TypeName(&h8000)
WScript.Echo "hex zeros: " & &H000000031 & " " & &H0000000000000031 & " " & &H00000000000000FF & " " & &H0FFFFFFFF & " " & &H007FFFFFFF & " " & &H000000031& & " " & &h0 & " " & &h0& & " " & &h000000000
WScript.Echo "hex zeros types: " & TypeName(&H00000000000000FF) & " " & TypeName(&H007FFFFFFF)
WScript.Echo "hex compares: " & (16 = &h10&) & " " & (&hffFFffFF& = -1) & " " & ((&h01or&h02) = 3)
' Octal literals (&O prefix), read through Eval so that a lexer without them
' does not stop the rest of this program
On Error Resume Next
WScript.Echo "octal: " & Eval("&O17") & " " & Eval("&o200") & " " & Eval("TypeName(&O17)") & " " & Eval("&o10&")
If Err.Number <> 0 Then WScript.Echo "octal literal error " & Err.Number
On Error GoTo 0

' & right before an identifier starting with h is concatenation (compiled
' through Execute so that a lexer error stays local to this line)
Dim hi: hi = "y"
Dim x
On Error Resume Next
Execute "x = ""x"" &hi"
If Err.Number <> 0 Then WScript.Echo "concat error " & Err.Number Else WScript.Echo "concat: " & x
On Error GoTo 0

' Signs
WScript.Echo "signs: " & --1 & " " & +--+-+1 & " " & -Empty & " " & TypeName(-Empty) & " " & TypeName(-Null) & " " & TypeName(+Empty) & " " & TypeName(+True) & " " & TypeName(+"true") & " " & (+"true")

' Constants keep the literal's subtype
Const c1 = 1, c3 = -3, cl = 100000, cd = 1.5
Const cb = True, cs = "test", cnull = Null
WScript.Echo "const types: " & TypeName(c1) & " " & TypeName(c3) & " " & TypeName(cl) & " " & TypeName(cd) & " " & TypeName(cb) & " " & TypeName(cs) & " " & TypeName(cnull)
WScript.Echo "const values: " & c1 & " " & c3 & " " & cl & " " & cd & " " & cb & " " & cs

' Strings and dates
WScript.Echo "strings: [" & "say ""hi""" & "] " & Len("") & " " & TypeName("") & " " & ("ab" & "cd" = "abcd")
WScript.Echo "date literals: " & Year(#2/29/2024#) & "-" & Month(#2/29/2024#) & "-" & Day(#2/29/2024#) & " " & Hour(#1/1/2000 13:45:10#) & " " & (# 1/1/2011 # = DateSerial(2011, 1, 1))
