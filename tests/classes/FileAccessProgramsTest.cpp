// CFileAccess in programs of their own: the child program, whose standard
// handles stand behind the empty FileName, and the CopyFile example.
#include <windows.h>
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "ChildProcess.h"
#include "FileTestSupport.h"
#include "TestSupport.h"
#include "support/Handle.h"

using korvane::UniqueHandle;
using namespace korvane::test;

namespace {

struct Finished {
  DWORD exitCode;
  std::string errorOutput;
};

// Runs a program with the given standard input and output and waits for it;
// its standard error goes to a file of the folder and comes back as text.
Finished run(const TempFolder& folder, const std::wstring& program, const std::vector<std::wstring>& arguments,
             HANDLE input, HANDLE output) {
  const std::wstring errorPath = folder / L"stderr.txt";
  DWORD exitCode = 0;
  {
    const UniqueHandle errors = openInheritable(errorPath, GENERIC_WRITE, CREATE_ALWAYS);
    REQUIRE(errors.valid());
    exitCode = runWithHandles(program, arguments, {input, output, errors.get()});
  }
  return {exitCode, fileContent(errorPath)};
}

}  // namespace

TEST_CASE("the empty FileName reads the standard input and writes the standard output, and Close leaves both open") {
  TempFolder folder;
  writeFileContent(folder / L"input.txt", "payload\n");
  UniqueHandle input = openInheritable(folder / L"input.txt", GENERIC_READ, OPEN_EXISTING);
  UniqueHandle output = openInheritable(folder / L"output.txt", GENERIC_WRITE, CREATE_ALWAYS);
  REQUIRE(input.valid());
  REQUIRE(output.valid());

  // The child writes one line per call to its standard error.
  const Finished child = run(folder, programBesideThisOne(L"fileaccess_child.exe"), {}, input.get(), output.get());
  CHECK(child.exitCode == 0);
  CHECK(child.errorOutput ==
        "put FileName: ok\n"
        "FileName: null\n"
        "Reset: -1\n"
        "BlockRead: 8\n"
        "BlockRead: 0\n"
        "Close: -1\n"
        "Rewrite: -1\n"
        "BlockWrite: 14\n"
        "Close: -1\n"
        "Rewrite: -1\n"
        "BlockWrite: 12\n"
        "Close: -1\n");
  output = UniqueHandle();
  CHECK(fileContent(folder / L"output.txt") == "read: payload\nafter Close\n");
}

TEST_CASE("the CopyFile example copies a file through its own buffer, and names the reason when it cannot") {
  TempFolder folder;
  std::string content;
  for (int i = 0; content.size() < 200000; ++i) content += static_cast<char>(i * 7919 % 251);
  const std::wstring source = folder / L"source.bin";
  const std::wstring target = folder / L"target.bin";
  writeFileContent(source, content);
  writeFileContent(target, std::string(300000, 'x'));  // longer: Rewrite must empty it

  const auto copyFile = [&](const std::wstring& from, const std::wstring& to) {
    UniqueHandle output = openInheritable(folder / L"stdout.txt", GENERIC_WRITE, CREATE_ALWAYS);
    REQUIRE(output.valid());
    return run(folder, windowsPath(KORVANE_COPYFILE_EXAMPLE), {from, to}, nullptr, output.get());
  };

  const Finished copied = copyFile(source, target);
  CHECK(copied.exitCode == 0);
  CHECK(copied.errorOutput == "");
  CHECK(fileContent(folder / L"stdout.txt") == "Copied 200000 bytes\r\n");  // text mode
  CHECK(fileContent(target) == content);

  const Finished refused = copyFile(folder / L"missing.bin", folder / L"untouched.bin");
  CHECK(refused.exitCode == 1);
  CHECK(refused.errorOutput == "CopyFile: Reset: File not found\r\n");
  CHECK_FALSE(fileExists(folder / L"untouched.bin"));
}
