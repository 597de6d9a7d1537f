' Checks shared by every VBScript test. RunScript.cmake puts this file in
' front of the test script and runs the two as one script, because Wine's
' VBScript has neither ExecuteGlobal nor .wsf jobs to load it otherwise. So
' Option Explicit below holds for the test too, and a test must not repeat it.
'
' A test script:
'   Dim file: Set file = CreateObject("Korvane.CFileAccess")
'   file.FileName = ScratchPath("data.bin")
'   AssertEqual "Rewrite returns true", True, file.Rewrite
'
'   On Error Resume Next
'   file.Rewrite
'   ExpectError "Rewrite while open", &H8000FFFF, "Korvane.CFileAccess", "File already open"
'   On Error GoTo 0
'
'   Finish
'
' Each check prints "ok <n> - <what>" or "not ok <n> - <what>" with what was
' expected and what came; Finish prints "<n> checks, <m> failed" and ends the
' script with exit code 1 when a check failed. Wine's cscript reports an
' uncaught runtime error by nothing at all and exits with 0: the runner
' takes a missing summary line for such an error, and the last "ok" line
' shows where the script stopped.
Option Explicit

Dim TestLibChecks, TestLibFailures
TestLibChecks = 0
TestLibFailures = 0

' The runner's fresh, empty folder for this run (a Windows path). The
' arguments given to korvane_add_script_test follow as TestArgument(0), ...
Function ScratchFolder()
  ScratchFolder = WScript.Arguments(0)
End Function

Function ScratchPath(name)
  ScratchPath = ScratchFolder() & "\" & name
End Function

Function TestArgument(index)
  TestArgument = WScript.Arguments(index + 1)
End Function

' Wine's drive Z: is the Unix root; native programs (an ODBC driver, say)
' want the Unix form of a path.
Function UnixPath(windowsPath)
  If UCase(Left(windowsPath, 2)) <> "Z:" Then
    Err.Raise 5, "TestLib", "not a path on drive Z: " & windowsPath
  End If
  UnixPath = Replace(Mid(windowsPath, 3), "\", "/")
End Function

' A value as a test reader wants to see it: strings quoted, error numbers
' in hexadecimal, Empty, Null and objects by name.
Function Shown(value)
  If IsObject(value) Then
    Shown = "object " & TypeName(value)
  ElseIf IsEmpty(value) Then
    Shown = "Empty"
  ElseIf IsNull(value) Then
    Shown = "Null"
  ElseIf VarType(value) = vbString Then
    Shown = """" & value & """"
  Else
    Shown = CStr(value)
  End If
End Function

Function ShownError(number, source, description)
  ShownError = "&H" & Hex(number) & " " & Shown(source) & " " & Shown(description)
End Function

Function SameValue(expected, actual)
  If IsObject(expected) Or IsObject(actual) Then
    SameValue = IsObject(expected) And IsObject(actual)
    If SameValue Then SameValue = expected Is actual
  ElseIf IsNull(expected) Or IsNull(actual) Then
    SameValue = IsNull(expected) And IsNull(actual)
  ElseIf VarType(expected) = vbString Xor VarType(actual) = vbString Then
    SameValue = False  ' no silent conversion between text and numbers
  Else
    SameValue = (expected = actual)
  End If
End Function

Sub Report(what, passed, expected, actual)
  TestLibChecks = TestLibChecks + 1
  If passed Then
    WScript.Echo "ok " & TestLibChecks & " - " & what
  Else
    TestLibFailures = TestLibFailures + 1
    WScript.Echo "not ok " & TestLibChecks & " - " & what
    WScript.Echo "#   expected: " & expected
    WScript.Echo "#   actual:   " & actual
  End If
End Sub

Sub AssertEqual(what, expected, actual)
  Report what, SameValue(expected, actual), Shown(expected), Shown(actual)
End Sub

' Checks the error that the statement just before raised. Call it under
' On Error Resume Next; it clears the error for the next statement.
Sub ExpectError(what, number, source, description)
  Dim actualNumber, actualSource, actualDescription
  actualNumber = Err.Number
  actualSource = Err.Source
  actualDescription = Err.Description
  Err.Clear
  Dim actual
  If actualNumber = 0 Then
    actual = "no error"
  Else
    actual = ShownError(actualNumber, actualSource, actualDescription)
  End If
  Report what, actualNumber = number And actualSource = source And actualDescription = description, _
    ShownError(number, source, description), actual
End Sub

' Prints the summary and ends the script: exit code 0 when every check
' passed, 1 otherwise.
Sub Finish()
  WScript.Echo TestLibChecks & " checks, " & TestLibFailures & " failed"
  If TestLibFailures > 0 Then WScript.Quit 1
  WScript.Quit 0
End Sub

' ---- end of TestLib.vbs; the test script follows ----
