' The Err object: Raise arguments, kept fields, defaults and standard messages
Sub Show(label)
  WScript.Echo label & ": " & Err.Number & " [" & Err.Source & "] [" & Err.Description & "] [" & Err.HelpFile & "] " & Err.HelpContext
End Sub
On Error Resume Next
WScript.Echo "initial: " & Err.Number & " " & TypeName(Err.Number)
Err.Raise 0: WScript.Echo "raise 0: " & Err.Number
Err.Raise 1: WScript.Echo "raise 1: " & Err.Number
Err.Raise: WScript.Echo "raise without number: " & Err.Number
Err.Raise &h8000: WScript.Echo "raise &h8000: " & Err.Number
Err.Raise &hffff: WScript.Echo "raise &hffff: " & Err.Number
Err.Raise &h10000&: WScript.Echo "raise &h10000&: " & Err.Number
Err.Raise -3000000000: WScript.Echo "raise -3000000000: " & Err.Number
Err.Raise -1: WScript.Echo "raise -1: " & Err.Number
Err.Raise -20: WScript.Echo "raise -20: " & Err.Number
Err.Raise -&hfff0: WScript.Echo "raise -&hfff0: " & Err.Number
Err.Raise -&h8000: WScript.Echo "raise -&h8000: " & Err.Number
Err.Clear
Show "cleared"
WScript.Echo "field types: " & TypeName(Err.Source) & " " & TypeName(Err.Description) & " " & TypeName(Err.HelpFile) & " " & TypeName(Err.HelpContext)
Err.Raise 1, "abc": Show "raise with source"
Err.Raise 1, 2, "desc", "hf", 1: Show "raise with all fields"
WScript.Echo "source type: " & TypeName(Err.Source)
Err.Raise 5: Show "later raise keeps fields"
Err.Clear
Err.Raise &h8007000E&: Show "raise HRESULT"
Err.Clear
Err.Raise 1, "test"
Err.Raise &h8007000E&: Show "HRESULT after raise with source"
Err.Raise 1, 2, "desc", "hf", 1
Err.UnknownMember: Show "missing member of Err"
Dim e: e = Err
WScript.Echo "default value: " & e & " " & TypeName(e)
Err.Raise vbObjectError + 7, "mine", "custom": Show "object error"
Err.Raise 1, 2, "desc", "hf", 1
On Error GoTo 0
Show "after On Error GoTo 0"
e = Err
WScript.Echo "default after clear: " & e & " " & TypeName(e)

On Error Resume Next
Dim n
For Each n In Array(5, 6, 7, 9, 10, 11, 13, 28, 91, 92, 94, 424, 429, 438, 450, 451, 457, 500, 501, 505, 506)
  Err.Clear
  Err.Raise n
  WScript.Echo n & " " & Err.Description & " | " & Err.Source
Next
Err.Clear
Dim r: r = CStr(Null): Show "from a function"
Err.Clear
Set r = CreateObject("No.Such.Object.XYZ"): WScript.Echo "CreateObject unknown: " & Err.Number
Err.Clear
Set r = CreateObject("Scripting.Dictionary"): r.Add "k", 1: r.Add "k", 2: WScript.Echo "duplicate key: " & Err.Number
Err.Clear
Sub Forever(depth)
  Forever depth + 1
End Sub
Forever 1
WScript.Echo "endless recursion: " & Err.Number
Dim depth: depth = 0
Sub Nest(k)
  depth = depth + 1
  If k > 1 Then Nest k - 1
End Sub
Err.Clear
Nest 100
WScript.Echo "recursion to 100: " & depth & " " & Err.Number
On Error GoTo 0
