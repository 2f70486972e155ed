' Each classic runtime error number and text, caught with On Error Resume Next
On Error Resume Next
Dim a(2), o, d, r
r = a(5): Report
r = CInt(40000): Report
r = "abc" * 2: Report
r = Sqr(-1): Report
r = o.Name: Report
Set d = CreateObject("Scripting.Dictionary")
d.Nope: Report
d.Add "k", 1: d.Add "k", 2: Report
ReDim a(3): Report
Set r = 5: Report
r = CLng(Null): Report
r = Fact(2000000): Report
ReDim big(2000000000): Report
r = CreateObject("No.Such"): Report
Err.Raise vbObjectError + 7, "src", "custom": Report
Sub Report()
  WScript.Echo Err.Number & " " & Err.Description
  Err.Clear
End Sub
Function Fact(n)
  Fact = n * Fact(n - 1)
End Function
