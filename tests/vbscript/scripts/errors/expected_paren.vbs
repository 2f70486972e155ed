WScript.Echo "start"
x = Len("a"
