// The empty FileName stands for the process's standard input (Reset) and
// standard output (Rewrite), seen from a child process whose standard
// handles are files of the test.
#include <windows.h>
#include <doctest/doctest.h>

#include <string>

#include "FileTestSupport.h"
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

UniqueHandle openInheritable(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  return UniqueHandle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inheritable, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Runs the child with the given standard input and output, and returns the
// transcript it wrote to its standard error.
std::string runChild(const TempFolder& folder, HANDLE input, HANDLE output) {
  const std::wstring transcriptPath = folder / L"transcript.txt";
  {
    const UniqueHandle transcript = openInheritable(transcriptPath, GENERIC_WRITE, CREATE_ALWAYS);
    REQUIRE(transcript.valid());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = transcript.get();
    std::wstring commandLine = L"\"" + childPath() + L"\"";
    PROCESS_INFORMATION started{};
    REQUIRE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                           nullptr, &startup, &started));
    const UniqueHandle process(started.hProcess);
    const UniqueHandle thread(started.hThread);
    REQUIRE(WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.get(), &exitCode);
    CHECK(exitCode == 0);
  }
  return fileContent(transcriptPath);
}

}  // namespace

TEST_CASE("the empty FileName reads the standard input and writes the standard output, and Close leaves both open") {
  TempFolder folder;
  writeFileContent(folder / L"input.txt", "payload\n");
  UniqueHandle input = openInheritable(folder / L"input.txt", GENERIC_READ, OPEN_EXISTING);
  UniqueHandle output = openInheritable(folder / L"output.txt", GENERIC_WRITE, CREATE_ALWAYS);
  REQUIRE(input.valid());
  REQUIRE(output.valid());

  CHECK(runChild(folder, input.get(), output.get()) ==
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
