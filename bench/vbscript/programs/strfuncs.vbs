Dim i, s, t, n
s = "The quick brown fox jumps over the lazy dog"
n = 0
For i = 1 To 200000
  t = Mid(s, (i Mod 10) + 1, 12)
  n = n + InStr(t, "o") + Len(Replace(t, "o", "00"))
Next
WScript.Echo n
