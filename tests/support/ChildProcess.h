// Runs a program of the build (an example client, say) as a user would, and
// collects what it prints.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace korvane::test {

struct ProgramRun {
  DWORD exitCode;
  std::string output;  // standard output and error together, with \r\n as \n
};

// Runs `program` with the arguments, each passed as one quoted argument, and
// waits for it to end.
ProgramRun runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments);

// A Unix path of the build as a Windows path: Wine's drive Z: is the Unix root.
std::wstring windowsPath(const std::string& unixPath);

}  // namespace korvane::test
