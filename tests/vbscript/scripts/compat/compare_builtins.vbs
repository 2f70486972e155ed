' Mixed number/string comparisons inside Select Case and the built-in functions
Function Pick(v)
  Select Case v
    Case 1, 2
      Pick = "one-two"
    Case 3
      Pick = "three"
    Case Else
      Pick = "else"
  End Select
End Function
WScript.Echo "select ""y"": " & Pick("y") & ", 2: " & Pick(2) & ", ""3"": " & Pick("3") & ", Empty: " & Pick(Empty)

Dim hit: hit = ""
Select Case 3
  Case 2: hit = "2"
  Case "test": hit = "test"
  Case 0, False, 2 + 1, 10: hit = "list"
  Case Else: hit = "else"
End Select
WScript.Echo "select 3 past a word case: " & hit
Dim t: t = "3"
Select Case t
  Case "3": hit = "text 3"
  Case 3: hit = "number 3"
End Select
WScript.Echo "select ""3"": " & hit
hit = "none"
Select Case 0
  Case 1: hit = "1"
  Case "2": hit = "2"
End Select
WScript.Echo "select 0: " & hit

' InStr and InStrRev with a compare mode, and numbers as text
WScript.Echo "InStr binary/text: " & InStr(3, "abcdefgh", "FG", 0) & " " & InStr(3, "abcdefgh", "FG", 1) & " " & InStr(1, "abcABC", "aB", 0) & " " & InStr(1, "abcABC", "aB", 1) & " " & InStr(2, "abcABC", "ab", 1)
WScript.Echo "InStr rounded mode: " & InStr(3, "abcdefgh", "FG", 1.4) & " " & InStr(3, "abcdefgh", "FG", -0.3)
WScript.Echo "InStr numbers: " & InStr(1, 23456, 45, 0) & " " & InStr(1, "23456", 34, 1) & " " & InStrRev("1234", 34) & " " & InStrRev(1234, 34)
WScript.Echo "InStrRev text: " & InStrRev("abcd", "A", 1, 0) & " " & InStrRev("abcd", "A", 1, 1) & " " & InStrRev("abcd", "Ab", -1, 1) & " " & InStrRev("abcd", "cd", 4, 1)
WScript.Echo "InStr nul chars: " & InStr(2, "abc" & Chr(0) & "A" & Chr(0) & "BC", "C", 0) & " " & InStr(1, "abc" & Chr(0) & "ABC", Chr(0) & "a", 1)

' StrComp
WScript.Echo "StrComp binary: " & StrComp("ABC", "abc", 0) & " " & StrComp("abc", "ABC", 0) & " " & StrComp("ABC", "ABC", 0) & " " & StrComp("ABCD", "ABC", 0) & " " & StrComp("ABC", "ABCD", 0)
WScript.Echo "StrComp text: " & StrComp("ABC", "abc", 1) & " " & StrComp("ABCD", "ABC", 1) & " " & StrComp("ABC", "ABCD", "1") & " " & StrComp("ABC", "abc", "0")
WScript.Echo "StrComp mixed: " & StrComp(1, 1, 1) & " " & StrComp("1", 1, 1) & " " & StrComp("1", 1.0, 1) & " " & StrComp(10, "9") & " " & StrComp(Empty, Empty, 1) & " " & StrComp(Empty, "", 1) & " " & StrComp(Empty, "ABC", 1) & " " & StrComp("ABC", Empty, 1)
WScript.Echo "StrComp vbNull: " & StrComp(vbNull, vbNull, 1) & " " & StrComp("", vbNull, 1) & ", Null: " & IsNull(StrComp(Null, "a"))

' Filter
Dim words: words = Array("a1", "b2", "A3", "ba")
WScript.Echo "Filter: " & Join(Filter(words, "a"), ",") & " | " & Join(Filter(words, "a", True, vbTextCompare), ",") & " | " & Join(Filter(words, "a", False), ",")
WScript.Echo "Filter number: " & Join(Filter(Array("x1", "y2", "x10"), 1), ",") & " | none: " & UBound(Filter(words, "zz"))

' Dictionary keys keep their subtype: 1 and "1" are different keys
Dim d: Set d = CreateObject("Scripting.Dictionary")
d.Add 1, "number"
d.Add "1", "text"
WScript.Echo "keys: " & d.Count & " " & d(1) & " " & d("1") & " " & TypeName(d.Keys()(0)) & " " & TypeName(d.Keys()(1))
WScript.Echo "exists: " & d.Exists(1) & " " & d.Exists("1") & " " & d.Exists(2) & " " & d.Exists("a")
d.Add "A", 1
WScript.Echo "binary case: " & d.Exists("a") & " " & d.Exists("A")
Dim dt: Set dt = CreateObject("Scripting.Dictionary")
dt.CompareMode = vbTextCompare
dt.Add "Key", 1
WScript.Echo "text case: " & dt.Exists("KEY") & " " & dt("kEy")
On Error Resume Next
dt.Add "KEY", 2
WScript.Echo "duplicate text key: " & Err.Number
Err.Clear
d.Add 1, "again"
WScript.Echo "duplicate number key: " & Err.Number
On Error GoTo 0
