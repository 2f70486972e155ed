' The subtype of each vb constant: Integer (2), except the colours, vbObjectError and the MsgBox
' flags above 32767, which are Long (3); the same in a procedure and through a Const.
Function Types(values)
  Dim v, out
  For Each v In values
    out = out & VarType(v)
  Next
  Types = out
End Function
WScript.Echo "var types: " & Types(Array(vbEmpty, vbNull, vbInteger, vbLong, vbSingle, vbDouble, vbCurrency, _
  vbDate, vbString, vbObject, vbError, vbBoolean, vbVariant, vbDataObject, vbDecimal, vbByte, vbArray))
WScript.Echo "compare, dates, tristate: " & Types(Array(vbBinaryCompare, vbTextCompare, vbDatabaseCompare, vbSunday, _
  vbSaturday, vbUseSystemDayOfWeek, vbFirstJan1, vbFirstFullWeek, vbGeneralDate, vbShortTime, vbTrue, vbFalse, vbUseDefault))
WScript.Echo "msgbox: " & Types(Array(vbOKOnly, vbYesNo, vbCritical, vbInformation, vbDefaultButton4, vbSystemModal, _
  vbMsgBoxHelpButton, vbOK, vbNo)) & " " & Types(Array(vbMsgBoxSetForeground, vbMsgBoxRight, vbMsgBoxRtlReading))
WScript.Echo "long: " & Types(Array(vbObjectError, vbBlack, vbRed, vbGreen, vbYellow, vbBlue, vbMagenta, vbCyan, vbWhite))
Sub InProcedure
  Const t = vbString
  WScript.Echo "in a procedure: " & VarType(vbEmpty) & VarType(vbLong) & VarType(t) & " " & TypeName(vbString)
End Sub
InProcedure
