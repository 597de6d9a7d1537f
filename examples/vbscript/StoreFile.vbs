' StoreFile.vbs <connection string> <table> <id> <file>
' Stores a file in the binary field of the row of <table> whose key is <id>
' with Korvane.CInOutFileDB, reads the field back into <file>.copy and says
' whether the copy is whole. Korvane.dll must be registered; run it with
'   cscript //nologo StoreFile.vbs "DRIVER={SQLite3};Database=C:\data\files.db" Files 1 photo.jpg
Option Explicit

Const KeyField = "id"     ' the table's key column
Const DataField = "img"   ' its binary column (BLOB, bytea)
Const ChunkSize = 4096

If WScript.Arguments.Count < 4 Then
  WScript.Echo "usage: cscript //nologo StoreFile.vbs <connection string> <table> <id> <file>"
  WScript.Quit 2
End If
Dim conn, table, id, source, copy
conn = WScript.Arguments(0)
table = WScript.Arguments(1)
id = CLng(WScript.Arguments(2))
source = WScript.Arguments(3)
copy = source & ".copy"

Dim db: Set db = CreateObject("Korvane.CInOutFileDB")
' The methods answer True or False; a script sees no error object, so False
' means: no such row, nothing to read, or a refused or failed call.
If Not db.WriteFileToDatabase(conn, source, ChunkSize, table, DataField, KeyField, id) Then
  WScript.Echo "The file was not stored in row " & id & " of " & table
  WScript.Quit 1
End If
If Not db.ReadFileFromDatabase(conn, copy, ChunkSize, table, DataField, KeyField, id) Then
  WScript.Echo "Row " & id & " of " & table & " could not be read back"
  WScript.Quit 1
End If

Dim fso: Set fso = CreateObject("Scripting.FileSystemObject")
WScript.Echo "Stored " & fso.GetFile(source).Size & " bytes in row " & id & " of " & table & _
  " and read " & fso.GetFile(copy).Size & " bytes back into " & fso.GetFileName(copy)
