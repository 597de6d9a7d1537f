' CInOutFileDB as a VBScript program sees it: late-bound, without events
' (Wine's script host cannot connect a sink), on the table that
' TransferTable.cmake has just made: a primary key, id integer, name
' varchar(20) and the binary img, with one row (id 1, name 'first', img Null).
' Arguments: the database, either a SQLite file (a Unix path) or a
' connection string in which %NAME% stands for an environment variable;
' then the table.

Dim shell: Set shell = CreateObject("WScript.Shell")
Dim fso: Set fso = CreateObject("Scripting.FileSystemObject")

Function ConnectionString(database)
  If Left(database, 1) = "/" Then
    ConnectionString = "DRIVER={SQLite3};Database=" & database
  Else
    ConnectionString = shell.ExpandEnvironmentStrings(database)
  End If
End Function

' The script host has no binary files: the sample is text, which the
' transfers move as bytes all the same.
Sub WriteSample(path, size)
  Dim stream: Set stream = fso.CreateTextFile(path, True)
  Dim line: line = "Korvane moves this line into a database field and back." & vbCrLf
  Do While size >= Len(line)
    stream.Write line
    size = size - Len(line)
  Loop
  stream.Write Left(line, size)
  stream.Close
End Sub

Function Content(path)
  Content = fso.OpenTextFile(path).ReadAll
End Function

Dim conn: conn = ConnectionString(TestArgument(0))
Dim table: table = TestArgument(1)
Dim sample: sample = ScratchPath("sample.txt")
Dim back: back = ScratchPath("back.txt")
WriteSample sample, 10000

Dim db: Set db = CreateObject("Korvane.CInOutFileDB")

AssertEqual "row 1 has nothing to read yet", False, _
  db.ReadFileFromDatabase(conn, back, 4096, table, "img", "id", 1)
AssertEqual "so no file is made", False, fso.FileExists(back)

' IDField left out: its default "ID" names the key field.
AssertEqual "write into row 1, IDField left out", True, _
  db.WriteFileToDatabase(conn, sample, 4096, table, "img", , 1)
Dim key: key = 1
AssertEqual "read row 1 back, the key in a variable", True, _
  db.ReadFileFromDatabase(conn, back, 4096, table, "img", "id", key)
AssertEqual "the file read back is the sample", Content(sample), Content(back)

' A text key goes to the database in apostrophes, as SQL writes it.
Dim byName: byName = ScratchPath("by-name.txt")
AssertEqual "read by a text key in apostrophes", True, _
  db.ReadFileFromDatabase(conn, byName, 1000, table, "img", "name", "'first'")
AssertEqual "the file read by name is the sample", Content(sample), Content(byName)

' IDField and ID left out: a new row.
AssertEqual "write a new row, IDField and ID left out", True, _
  db.WriteFileToDatabase(conn, sample, 4096, table, "img")

' What is not there, or not allowed, is a false result and no script error:
' the methods return a boolean, not an error code.
On Error Resume Next
AssertEqual "no row 99 to write into", False, _
  db.WriteFileToDatabase(conn, sample, 4096, table, "img", "id", 99)
AssertEqual "a missing row raises no error", 0, Err.Number
Dim missing: missing = ScratchPath("missing.txt")
AssertEqual "no row 99 to read", False, _
  db.ReadFileFromDatabase(conn, missing, 4096, table, "img", "id", 99)
AssertEqual "no file for a missing row", False, fso.FileExists(missing)

AssertEqual "a table name with a statement after it is refused", False, _
  db.ReadFileFromDatabase(conn, back, 4096, table & "; DROP TABLE " & table, "img", "id", 1)
AssertEqual "the refusal raises no error", 0, Err.Number
AssertEqual "a text key without apostrophes is refused", False, _
  db.ReadFileFromDatabase(conn, back, 4096, table, "img", "name", "first")
AssertEqual "a text key with a condition after it is refused", False, _
  db.ReadFileFromDatabase(conn, back, 4096, table, "img", "name", "'first' OR 'x'='x'")
AssertEqual "the refusals raise no error either", 0, Err.Number

' A read needs all seven arguments.
db.ReadFileFromDatabase conn, back, 4096, table, "img"
AssertEqual "a read with five arguments is a script error", 450, Err.Number
Err.Clear
On Error GoTo 0

AssertEqual "the refused reads kept the target", Content(sample), Content(back)
AssertEqual "the table is still there", True, _
  db.ReadFileFromDatabase(conn, back, 4096, table, "img", "id", 1)

Finish
