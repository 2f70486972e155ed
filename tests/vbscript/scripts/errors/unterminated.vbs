Dim s
s = "open
