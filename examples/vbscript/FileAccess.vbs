' FileAccess.vbs [folder]
' Creates a file with Korvane.CFileAccess, checks State, closes the file,
' opens it again and shows the message of a refused call. The file goes to
' the folder given, or to the temporary folder. Korvane.dll must be
' registered; run it with cscript //nologo FileAccess.vbs.
Option Explicit

Dim fso, folder, file
Set fso = CreateObject("Scripting.FileSystemObject")
If WScript.Arguments.Count > 0 Then
  folder = WScript.Arguments(0)
Else
  folder = fso.GetSpecialFolder(2)
End If

Set file = CreateObject("Korvane.CFileAccess")
file.FileName = fso.BuildPath(folder, "FileAccess example.bin")
file.Rewrite                         ' creates the file, or empties it
WScript.Echo "Created " & file.FileName
WScript.Echo "State after Rewrite: " & file.State
file.Close
WScript.Echo "State after Close: " & file.State

file.Reset                           ' opens the existing file again
WScript.Echo "State after Reset: " & file.State

' A failed call raises an error with the reason in Err.Description.
On Error Resume Next
file.Reset
If Err.Number <> 0 Then
  WScript.Echo "Reset refused: " & Err.Description & " (" & Err.Source & ", &H" & Hex(Err.Number) & ")"
End If
Err.Clear
On Error GoTo 0

file.Close
Set file = Nothing
