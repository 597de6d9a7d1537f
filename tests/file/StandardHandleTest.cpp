#include <windows.h>
#include <doctest/doctest.h>

#include <string>

#include "ChildProcess.h"
#include "FileTestSupport.h"
#include "file/BinaryFile.h"
#include "support/Handle.h"

using korvane::BinaryFile;
using korvane::IoFailure;
using korvane::UniqueHandle;
using namespace korvane::test;

namespace {

// Runs the child with the given standard input and output, and returns the
// transcript it wrote to its standard error.
std::string runChild(const TempFolder& folder, HANDLE input, HANDLE output) {
  const std::wstring transcriptPath = folder / L"transcript.txt";
  {
    const UniqueHandle transcript = openInheritable(transcriptPath, GENERIC_WRITE, CREATE_ALWAYS);
    REQUIRE(transcript.valid());
    CHECK(runWithHandles(programBesideThisOne(L"binaryfile_child.exe"), {}, {input, output, transcript.get()}) == 0);
  }
  return fileContent(transcriptPath);
}

}  // namespace

TEST_CASE("the empty name reads the standard input and writes the standard output, and Close leaves both open") {
  TempFolder folder;
  writeFileContent(folder / L"input.txt", "payload\n");
  UniqueHandle input = openInheritable(folder / L"input.txt", GENERIC_READ, OPEN_EXISTING);
  UniqueHandle output = openInheritable(folder / L"output.txt", GENERIC_WRITE, CREATE_ALWAYS);
  REQUIRE(input.valid());
  REQUIRE(output.valid());

  CHECK(runChild(folder, input.get(), output.get()) ==
        "OpenExisting: ok\n"
        "ReadBlock: 8\n"
        "ReadBlock: 0\n"
        "Close: ok\n"
        "OpenExisting: ok\n"
        "ReadBlock: 0\n"
        "Close: ok\n"
        "CreateOrTruncate: ok\n"
        "WriteBlock: 14\n"
        "Close: ok\n"
        "CreateOrTruncate: ok\n"
        "WriteBlock: 12\n"
        "Close: ok\n");
  output = UniqueHandle();
  CHECK(fileContent(folder / L"output.txt") == "read: payload\nafter Close\n");
}

TEST_CASE("without standard handles the empty name still opens, and each transfer fails with the system's code") {
  TempFolder folder;
  CHECK(runChild(folder, nullptr, nullptr) ==
        "OpenExisting: ok\n"
        "ReadBlock: 6: I/O error 6\n"
        "Close: ok\n"
        "OpenExisting: ok\n"
        "ReadBlock: 6: I/O error 6\n"
        "Close: ok\n"
        "CreateOrTruncate: ok\n"
        "WriteBlock: 6: I/O error 6\n"
        "Close: ok\n"
        "CreateOrTruncate: ok\n"
        "WriteBlock: 6: I/O error 6\n"
        "Close: ok\n");
}

TEST_CASE("a standard handle of INVALID_HANDLE_VALUE is a failed open that keeps the empty name bound") {
  BinaryFile file;
  file.Bind(L"");
  {
    const StandardHandleOverride input(STD_INPUT_HANDLE, INVALID_HANDLE_VALUE);
    CHECK_THROWS_AS(file.OpenExisting(), IoFailure);
    CHECK(outcomeOf([&] { file.Size(); }) == "103: I/O error 103");
  }
  TempFolder folder;
  writeFileContent(folder / L"input.txt", "again");
  UniqueHandle handle = openInheritable(folder / L"input.txt", GENERIC_READ, OPEN_EXISTING);
  const StandardHandleOverride input(STD_INPUT_HANDLE, handle.get());
  file.OpenExisting();
  char block[8];
  CHECK(file.ReadBlock(block, sizeof block) == 5);
}
