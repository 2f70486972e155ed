WScript.Echo "start"
Err.Raise 513, "MyApp", "Something broke"
