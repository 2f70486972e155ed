' FileSystemObject and TextStream
Dim fso, dir, f, t, file, names
Set fso = CreateObject("Scripting.FileSystemObject")
dir = "fso_test_dir"
If fso.FolderExists(dir) Then fso.DeleteFolder dir
fso.CreateFolder dir
WScript.Echo fso.FolderExists(dir), fso.FileExists(dir)
Set f = fso.CreateTextFile(fso.BuildPath(dir, "a.txt"), True)
f.WriteLine "line one"
f.Write "line two"
f.Close
Set f = fso.OpenTextFile(dir & "/a.txt", 8)
f.WriteLine ""
f.WriteLine "line three"
f.Close
Set f = fso.OpenTextFile(dir & "/a.txt", 1)
Do Until f.AtEndOfStream
  WScript.Echo "read: " & f.ReadLine
Loop
f.Close
fso.CopyFile dir & "/a.txt", dir & "/b.txt"
Set t = fso.OpenTextFile(dir & "/b.txt")
WScript.Echo Len(t.ReadAll)
t.Close
names = ""
For Each file In fso.GetFolder(dir).Files
  names = names & file.Name & " "
Next
WScript.Echo names, fso.GetFolder(dir).Files.Count
WScript.Echo fso.GetFileName("/x/y/z.txt"), fso.GetBaseName("z.txt"), fso.GetExtensionName("z.txt")
fso.DeleteFile dir & "/b.txt"
WScript.Echo fso.FileExists(dir & "/b.txt")
On Error Resume Next
Set f = fso.OpenTextFile(dir & "/missing.txt")
WScript.Echo Err.Number, Err.Description
Err.Clear
Set f = fso.OpenTextFile(dir & "/new.txt", 2, True)
f.Write "x"
f.Close
WScript.Echo Err.Number, fso.FileExists(dir & "/new.txt")
fso.DeleteFolder dir
WScript.Echo fso.FolderExists(dir)
