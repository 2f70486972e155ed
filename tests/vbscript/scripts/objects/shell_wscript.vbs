' WScript.Shell and the WScript object
Dim sh, ex, i
Set sh = CreateObject("WScript.Shell")
WScript.Echo sh.Run("exit 3", 0, True)
Set ex = sh.Exec("echo out; echo err 1>&2; exit 2")
WScript.Echo Replace(ex.StdOut.ReadAll, vbLf, ""), Replace(ex.StdErr.ReadAll, vbLf, ""), ex.ExitCode, ex.Status
WScript.Echo WScript.Arguments.Count, WScript.Arguments(0), WScript.Arguments.Item(1), WScript.ScriptName
For Each i In WScript.Arguments
  WScript.StdOut.Write i & ";"
Next
WScript.StdOut.WriteLine ""
WScript.StdErr.WriteLine "to stderr"
WScript.Echo True, Null, 1.5
WScript.Echo
WScript.Sleep 1
WScript.Echo "done"
