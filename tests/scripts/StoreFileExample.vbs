' Runs examples/vbscript/StoreFile.vbs with this bitness's cscript on the
' SQLite table that TransferTable.cmake has made (row id 1). Arguments: the
' database file (a Unix path), the table, the example.

Dim fso: Set fso = CreateObject("Scripting.FileSystemObject")
Dim shell: Set shell = CreateObject("WScript.Shell")
Dim conn: conn = "DRIVER={SQLite3};Database=" & TestArgument(0)
Dim table: table = TestArgument(1)
Dim sample: sample = ScratchPath("sample.txt")
Dim output: output = ScratchPath("output.txt")

Dim stream: Set stream = fso.CreateTextFile(sample, True)
Dim i
For i = 1 To 500
  stream.WriteLine "line " & i & " of the sample that StoreFile.vbs keeps in the database"
Next
stream.Close

Function RunExample(id)
  RunExample = shell.Run("cmd /c cscript //nologo """ & TestArgument(2) & """ """ & conn & """ " & _
    table & " " & id & " """ & sample & """ > """ & output & """", 0, True)
End Function

AssertEqual "the example stores and reads back row 1", 0, RunExample(1)
Dim size: size = fso.GetFile(sample).Size
AssertEqual "the example says so", _
  "Stored " & size & " bytes in row 1 of " & table & " and read " & size & " bytes back into sample.txt.copy" & vbCrLf, _
  fso.OpenTextFile(output).ReadAll()
AssertEqual "the copy is the sample", fso.OpenTextFile(sample).ReadAll(), fso.OpenTextFile(sample & ".copy").ReadAll()

AssertEqual "a row that does not exist ends the example with 1", 1, RunExample(2)
AssertEqual "and it says why", "The file was not stored in row 2 of " & table & vbCrLf, fso.OpenTextFile(output).ReadAll()

Finish
