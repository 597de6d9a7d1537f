// CFileAccess in programs of their own: the child program, whose standard
// handles stand behind the empty FileName, and the CopyFile example.
#include <windows.h>
#include <doctest/doctest.h>

#include <string>

#include "FileTestSupport.h"
#include "TestSupport.h"
#include "support/Handle.h"

using korvane::UniqueHandle;
using namespace korvane::test;

namespace {

// The child program is built next to this test program.
std::wstring childPath() {
  wchar_t self[MAX_PATH];
  const std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  return path.substr(0, path.find_last_of(L'\\') + 1) + L"fileaccess_child.exe";
}

std::wstring examplePath() {
  std::wstring path = L"Z:" + widen(KORVANE_COPYFILE_EXAMPLE);
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

UniqueHandle openInheritable(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  return UniqueHandle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inheritable, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

struct Finished {
  DWORD exitCode;
  std::string errorOutput;
};

// Runs a program with the given standard input and output and waits for it;
// its standard error goes to a file of the folder and comes back as text.
Finished run(const TempFolder& folder, std::wstring commandLine, HANDLE input, HANDLE output) {
  const std::wstring errorPath = folder / L"stderr.txt";
  DWORD exitCode = 0;
  {
    const UniqueHandle errors = openInheritable(errorPath, GENERIC_WRITE, CREATE_ALWAYS);
    REQUIRE(errors.valid());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = errors.get();
    PROCESS_INFORMATION started{};
    REQUIRE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                           nullptr, &startup, &started));
    const UniqueHandle process(started.hProcess);
    const UniqueHandle thread(started.hThread);
    REQUIRE(WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0);
    REQUIRE(GetExitCodeProcess(process.get(), &exitCode));
  }
  return {exitCode, fileContent(errorPath)};
}

std::wstring quotedArgument(const std::wstring& text) { return L"\"" + text + L"\""; }

}  // namespace

TEST_CASE("the empty FileName reads the standard input and writes the standard output, and Close leaves both open") {
  TempFolder folder;
  writeFileContent(folder / L"input.txt", "payload\n");
  UniqueHandle input = openInheritable(folder / L"input.txt", GENERIC_READ, OPEN_EXISTING);
  UniqueHandle output = openInheritable(folder / L"output.txt", GENERIC_WRITE, CREATE_ALWAYS);
  REQUIRE(input.valid());
  REQUIRE(output.valid());

  // The child writes one line per call to its standard error.
  const Finished child = run(folder, quotedArgument(childPath()), input.get(), output.get());
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
    const std::wstring commandLine =
        quotedArgument(examplePath()) + L" " + quotedArgument(from) + L" " + quotedArgument(to);
    return run(folder, commandLine, nullptr, output.get());
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
