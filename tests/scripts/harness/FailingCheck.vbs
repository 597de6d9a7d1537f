' The harness's own test: a failed check fails the test and says why.
AssertEqual "passes", 1, 1
AssertEqual "text is not a number", "1", 1
Finish
