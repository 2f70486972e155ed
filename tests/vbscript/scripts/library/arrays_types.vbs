' Array and type functions: LBound/UBound per dimension, Array, IsArray, TypeName, VarType
Dim m(2, 4), a, v
WScript.Echo LBound(m), UBound(m), LBound(m, 2), UBound(m, 2)
a = Array("x", 1, Array(2))
WScript.Echo IsArray(a), IsArray(a(2)), IsArray(a(0)), TypeName(a(1)), UBound(a(2))
WScript.Echo TypeName(1), TypeName(70000), TypeName(1.5), TypeName("s"), TypeName(True), TypeName(CByte(1)), TypeName(#1/1/2020#), TypeName(CreateObject("Scripting.Dictionary")), TypeName(New RegExp)
WScript.Echo VarType(a), VarType(m), VarType(CSng(1)), VarType(Nothing)
WScript.Echo ScriptEngine, IsObject(Nothing), IsObject(a)
On Error Resume Next
v = UBound(m, 3)
WScript.Echo Err.Number
Err.Clear
v = UBound(5)
WScript.Echo Err.Number
Err.Clear
Dim dyn()
v = UBound(dyn)
WScript.Echo Err.Number
Err.Clear
v = Mid("abc", 0)
WScript.Echo Err.Number
Err.Clear
v = Left("abc", -1)
WScript.Echo Err.Number
Err.Clear
v = Chr(300)
WScript.Echo Err.Number
Err.Clear
v = Len()
WScript.Echo Err.Number
