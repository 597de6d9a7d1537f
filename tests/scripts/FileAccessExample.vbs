' Runs examples/vbscript/FileAccess.vbs (argument 0) with this bitness's
' cscript and checks what it prints and the file it leaves.

Dim fso: Set fso = CreateObject("Scripting.FileSystemObject")
Dim shell: Set shell = CreateObject("WScript.Shell")
Dim output: output = ScratchPath("output.txt")

Dim exitCode
exitCode = shell.Run("cmd /c cscript //nologo """ & TestArgument(0) & """ """ & ScratchFolder() & _
  """ > """ & output & """", 0, True)
AssertEqual "the example ends with exit code 0", 0, exitCode

Dim created: created = fso.BuildPath(ScratchFolder(), "FileAccess example.bin")
AssertEqual "the example prints each step", _
  "Created " & created & vbCrLf & _
  "State after Rewrite: 1" & vbCrLf & _
  "State after Close: 0" & vbCrLf & _
  "State after Reset: 1" & vbCrLf & _
  "Reset refused: File already open (Korvane.CFileAccess, &H8000FFFF)" & vbCrLf, _
  fso.OpenTextFile(output).ReadAll()
AssertEqual "the example leaves an empty file", 0, fso.GetFile(created).Size

Finish
