' Type inspection: TypeName, VarType, the Is* functions and the vb constants
Class EmptyClass
End Class
Class WithDefault
  Public v
  Public Default Property Get Value
    Value = v
  End Property
End Class
Class WithDefaultFunction
  Public Default Function Describe()
    Describe = "described"
  End Function
End Class
Dim arr(2), o, dp, df
Set o = New EmptyClass
Set dp = New WithDefault
Set df = New WithDefaultFunction

WScript.Echo "TypeName: " & TypeName(Nothing) & " " & TypeName(Empty) & " " & TypeName(Null) & " " & TypeName(CByte(255)) & " " & TypeName(255) & " " & TypeName(32768) & " " & TypeName(CSng(0.5)) & " " & TypeName(-0.5) & " " & TypeName(CCur(0.5)) & " " & TypeName(CStr(0.5)) & " " & TypeName(True) & " " & TypeName(arr) & " " & TypeName(Array())
WScript.Echo "TypeName objects: " & TypeName(o) & " " & TypeName(dp) & " " & TypeName(New RegExp) & " " & TypeName(CreateObject("Scripting.Dictionary"))
WScript.Echo "VarType: " & VarType(Empty) & " " & VarType(Null) & " " & VarType(255) & " " & VarType(32768) & " " & VarType(CSng(0.5)) & " " & VarType(-0.5) & " " & VarType(CCur(0.5)) & " " & VarType(Now) & " " & VarType("s") & " " & VarType(o) & " " & VarType(True) & " " & VarType(CByte(255)) & " " & VarType(arr) & " " & TypeName(VarType(arr))
' VarType of an object with a default member is the type of the default value
dp.v = "text"
WScript.Echo "VarType default text: " & VarType(dp) & " " & TypeName(dp) & " " & IsObject(dp)
dp.v = 42
WScript.Echo "VarType default number: " & VarType(dp) & ", function: " & VarType(df) & ", none: " & VarType(o) & ", Nothing: " & VarType(Nothing)
WScript.Echo "IsObject: " & IsObject(New EmptyClass) & " " & IsObject(o) & " " & IsObject(Nothing) & " " & IsObject(True) & " " & IsObject(4) & " " & IsObject("x") & " " & IsObject(Null)
WScript.Echo "IsDate: " & IsDate(o) & " " & IsDate(CDate(1)) & " " & IsDate(#1/1/2000#) & " " & IsDate(Empty) & " " & IsDate(Nothing) & " " & IsDate(True) & " " & IsDate(4) & " " & IsDate("4") & " " & IsDate("x") & " " & IsDate(Null)
WScript.Echo "IsEmpty: " & IsEmpty(o) & " " & IsEmpty(Empty) & " " & IsEmpty(Nothing) & " " & IsEmpty(True) & " " & IsEmpty(4) & " " & IsEmpty("") & " " & IsEmpty(Null)
WScript.Echo "IsNull: " & IsNull(o) & " " & IsNull(Empty) & " " & IsNull(Nothing) & " " & IsNull(4) & " " & IsNull("x") & " " & IsNull(Null)
WScript.Echo "IsNumeric: " & IsNumeric(Empty) & " " & IsNumeric(Null) & " " & IsNumeric(32767) & " " & IsNumeric(32768) & " " & IsNumeric(CSng(3242.4)) & " " & IsNumeric(CCur(32768.4)) & " " & IsNumeric("44") & " " & IsNumeric("rwrf") & " " & IsNumeric(Nothing) & " " & IsNumeric(o) & " " & IsNumeric(True) & " " & IsNumeric(CByte(32)) & " " & IsNumeric(arr)
dp.v = 1
WScript.Echo "IsNumeric default: " & IsNumeric(dp)
dp.v = "test"
WScript.Echo "IsNumeric default text: " & IsNumeric(dp)
WScript.Echo "IsArray: " & IsArray(arr) & " " & IsArray(Array()) & " " & IsArray(Empty) & " " & IsArray(Null) & " " & IsArray(42) & " " & IsArray("44") & " " & IsArray(Nothing) & " " & IsArray(o) & " " & IsArray(True)

WScript.Echo "days: " & vbSunday & vbMonday & vbTuesday & vbWednesday & vbThursday & vbFriday & vbSaturday & " " & TypeName(vbSunday)
WScript.Echo "var types: " & vbEmpty & " " & vbNull & " " & vbInteger & " " & vbLong & " " & vbSingle & " " & vbDouble & " " & vbCurrency & " " & vbDate & " " & vbString & " " & vbObject & " " & vbError & " " & vbBoolean & " " & vbVariant & " " & vbDataObject & " " & vbDecimal & " " & vbByte & " " & vbArray
WScript.Echo "msgbox: " & vbCritical & " " & vbQuestion & " " & vbExclamation & " " & vbInformation & " " & vbDefaultButton2 & " " & vbDefaultButton3 & " " & vbDefaultButton4 & " " & vbSystemModal & " " & vbMsgBoxHelpButton & " " & vbMsgBoxSetForeground & " " & vbMsgBoxRight & " " & vbMsgBoxRtlReading & " " & TypeName(vbMsgBoxRight) & " " & TypeName(vbSystemModal)
WScript.Echo "buttons: " & vbOKOnly & vbOKCancel & vbAbortRetryIgnore & vbYesNoCancel & vbYesNo & vbRetryCancel & " " & vbOK & vbCancel & vbAbort & vbRetry & vbIgnore & vbYes & vbNo
WScript.Echo "misc: " & vbUseSystem & " " & vbUseSystemDayOfWeek & " " & vbFirstJan1 & " " & vbFirstFourDays & " " & vbFirstFullWeek & " " & vbTrue & " " & vbFalse & " " & vbUseDefault & " " & vbBinaryCompare & " " & vbTextCompare & " " & vbDatabaseCompare & " " & TypeName(vbTrue)
WScript.Echo "formats: " & vbGeneralDate & vbLongDate & vbShortDate & vbLongTime & vbShortTime & " " & vbObjectError & " " & TypeName(vbObjectError)
WScript.Echo "colors: " & vbBlack & " " & vbBlue & " " & vbCyan & " " & vbGreen & " " & vbMagenta & " " & vbRed & " " & vbWhite & " " & vbYellow & " " & TypeName(vbBlack)
WScript.Echo "chars: " & Asc(vbCr) & " " & Asc(vbLf) & " " & Len(vbCrLf) & " " & (vbNewLine = vbCrLf) & " " & Asc(vbFormFeed) & " " & Asc(vbNullChar) & " " & Len(vbNullString) & " " & Asc(vbTab) & " " & Asc(vbVerticalTab) & " " & TypeName(vbCr)
WScript.Echo "engine: " & ScriptEngine & " " & TypeName(ScriptEngineMajorVersion) & " " & TypeName(ScriptEngineMinorVersion) & " " & TypeName(ScriptEngineBuildVersion)
