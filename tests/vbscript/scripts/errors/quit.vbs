WScript.Echo "a"
WScript.Quit 3
WScript.Echo "b"
