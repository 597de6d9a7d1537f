' The harness's own test: a runtime error that Wine's cscript swallows
' still fails the test.
AssertEqual "passes", 1, 1
Dim missing: Set missing = CreateObject("Korvane.NoSuchClass")
Finish
