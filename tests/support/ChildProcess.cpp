#include "ChildProcess.h"

#include <doctest/doctest.h>

namespace korvane::test {

DWORD runWithHandles(const std::wstring& program, const std::vector<std::wstring>& arguments,
                     const StandardHandles& handles) {
  std::wstring commandLine = L"\"" + program + L"\"";
  for (const auto& argument : arguments) commandLine += L" \"" + argument + L"\"";

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = handles.input;
  startup.hStdOutput = handles.output;
  startup.hStdError = handles.error;
  PROCESS_INFORMATION started{};
  REQUIRE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                         &started));
  const UniqueHandle process(started.hProcess), thread(started.hThread);
  REQUIRE(WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0);
  DWORD exitCode = 0;
  REQUIRE(GetExitCodeProcess(process.get(), &exitCode));
  return exitCode;
}

ProgramRun runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  // The output goes to a file rather than a pipe: a Wine service that the
  // program starts would inherit a pipe's write end and keep it open, so the
  // end of the output could not be told by the pipe closing.
  wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
  REQUIRE(GetTempPathW(MAX_PATH + 1, folder) > 0);
  REQUIRE(GetTempFileNameW(folder, L"out", 0, name) != 0);
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  const UniqueHandle output(CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                        nullptr));
  REQUIRE(output.valid());

  ProgramRun run{};
  run.exitCode = runWithHandles(program, arguments, {GetStdHandle(STD_INPUT_HANDLE), output.get(), output.get()});

  REQUIRE(SetFilePointer(output.get(), 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER);
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(output.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
    for (DWORD i = 0; i < read; ++i) {
      if (buffer[i] != '\r') run.output += buffer[i];
    }
  }
  return run;
}

UniqueHandle openInheritable(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  return UniqueHandle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                  disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::wstring programBesideThisOne(const std::wstring& name) {
  wchar_t self[MAX_PATH];
  const std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

}  // namespace korvane::test
