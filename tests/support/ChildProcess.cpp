#include "ChildProcess.h"

#include <doctest/doctest.h>

#include "TestSupport.h"
#include "support/Handle.h"

namespace korvane::test {

ProgramRun runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  std::wstring commandLine = L"\"" + program + L"\"";
  for (const auto& argument : arguments) commandLine += L" \"" + argument + L"\"";

  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  REQUIRE(CreatePipe(&readEnd, &writeEnd, &inheritable, 0));
  const UniqueHandle reader(readEnd);
  UniqueHandle writer(writeEnd);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writer.get();
  startup.hStdError = writer.get();
  PROCESS_INFORMATION started{};
  REQUIRE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                         &started));
  const UniqueHandle process(started.hProcess), thread(started.hThread);
  writer = UniqueHandle();  // the child holds the only write end now: the pipe ends with it

  ProgramRun run{};
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(reader.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
    for (DWORD i = 0; i < read; ++i) {
      if (buffer[i] != '\r') run.output += buffer[i];
    }
  }
  REQUIRE(WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0);
  REQUIRE(GetExitCodeProcess(process.get(), &run.exitCode));
  return run;
}

std::wstring windowsPath(const std::string& unixPath) {
  std::wstring path = L"Z:" + widen(unixPath);
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

}  // namespace korvane::test
