' CFileAccess as a VBScript program sees it: late-bound through IDispatch,
' the life of one file, and each failure as an error with Err.Number
' &H8000FFFF, Err.Source "Korvane.CFileAccess" and the message.

Const Failed = &H8000FFFF
Const Korvane = "Korvane.CFileAccess"

Dim fso: Set fso = CreateObject("Scripting.FileSystemObject")
Dim file: Set file = CreateObject("Korvane.CFileAccess")
Dim path: path = ScratchPath("data.bin")

AssertEqual "a new object is closed", 0, file.State
AssertEqual "a new object has an empty FileName", "", file.FileName

On Error Resume Next
file.Reset
ExpectError "Reset before any FileName", Failed, Korvane, "I/O error 102"
file.Rewrite
ExpectError "Rewrite before any FileName", Failed, Korvane, "I/O error 102"
file.Close
ExpectError "Close of a closed object", Failed, Korvane, "File not open"
On Error GoTo 0

file.FileName = path
AssertEqual "FileName reads back what was set", path, file.FileName

On Error Resume Next
file.Reset
ExpectError "Reset of a missing file", Failed, Korvane, "File not found"
On Error GoTo 0
AssertEqual "a failed Reset leaves the object closed", 0, file.State

AssertEqual "Rewrite creates the file", True, file.Rewrite
AssertEqual "Rewrite opens the object", 1, file.State
AssertEqual "the file exists", True, fso.FileExists(path)

On Error Resume Next
file.Reset
ExpectError "Reset of an open object", Failed, Korvane, "File already open"
file.Rewrite
ExpectError "Rewrite of an open object", Failed, Korvane, "File already open"
file.FileName = ScratchPath("other.bin")
ExpectError "FileName set on an open object", Failed, Korvane, "File open"
On Error GoTo 0
AssertEqual "FileName is unchanged by the refused assignment", path, file.FileName
AssertEqual "the refusals leave the object open", 1, file.State

AssertEqual "Close returns true", True, file.Close
AssertEqual "Close closes the object", 0, file.State

' Reset opens the same file again without a new FileName and keeps its
' content; Rewrite empties it.
Dim text: Set text = fso.CreateTextFile(path, True)
text.Write "twelve bytes"
text.Close
AssertEqual "Reset opens the existing file again", True, file.Reset
AssertEqual "Reset keeps the content", 12, fso.GetFile(path).Size
file.Close
AssertEqual "Rewrite opens it again", True, file.Rewrite
AssertEqual "Rewrite empties the file", 0, fso.GetFile(path).Size
file.Close

' A failed open keeps the name bound: the same call succeeds once the
' obstacle is gone. Wine running as root ignores the read-only attribute,
' so "File access denied" comes from a folder given as the file.
Dim refusals: refusals = Array( _
  Array("missing folder", ScratchPath("missing\data.bin"), "Invalid filename"), _
  Array("a folder", ScratchFolder(), "File access denied"))
Dim refusal
For Each refusal In refusals
  file.FileName = refusal(1)
  On Error Resume Next
  file.Reset
  ExpectError "Reset of " & refusal(0), Failed, Korvane, refusal(2)
  file.Rewrite
  ExpectError "Rewrite of " & refusal(0), Failed, Korvane, refusal(2)
  On Error GoTo 0
  AssertEqual "the object stays closed after failing on " & refusal(0), 0, file.State
Next

file.FileName = ScratchPath("later.bin")
On Error Resume Next
file.Reset
ExpectError "Reset of a file not there yet", Failed, Korvane, "File not found"
On Error GoTo 0
fso.CreateTextFile(ScratchPath("later.bin"), True).Close
AssertEqual "the repeated Reset finds it", True, file.Reset

' Buffer is an address, which automation cannot carry: the dispatcher
' refuses BlockRead and BlockWrite before the object is called, and VBScript
' reports the refusal as its own error. Early-bound clients use them.
On Error Resume Next
Dim count: count = file.BlockRead(0, 0)
ExpectError "BlockRead late-bound", 458, "Microsoft VBScript runtime error", _
  "Variable uses an Automation type not supported in VBScript"
count = file.BlockWrite(0, 0)
ExpectError "BlockWrite late-bound", 458, "Microsoft VBScript runtime error", _
  "Variable uses an Automation type not supported in VBScript"
On Error GoTo 0
AssertEqual "the refused calls leave the object open", 1, file.State

' An open file cannot be deleted; once the open object is released, it can.
On Error Resume Next
fso.DeleteFile ScratchPath("later.bin")
AssertEqual "the open file cannot be deleted", True, Err.Number <> 0
Err.Clear
On Error GoTo 0
Set file = Nothing
fso.DeleteFile ScratchPath("later.bin")
AssertEqual "releasing the open object let go of the file", False, fso.FileExists(ScratchPath("later.bin"))

Finish
