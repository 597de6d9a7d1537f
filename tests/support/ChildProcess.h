// Runs programs of the build (example clients, child programs behind the
// standard-handle cases) as a user would, with standard handles of the
// test's choice.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "support/Handle.h"

namespace korvane::test {

// The standard handles a program starts with; null ones it does not get.
struct StandardHandles {
  HANDLE input = nullptr;
  HANDLE output = nullptr;
  HANDLE error = nullptr;
};

// Runs `program` with the arguments, each passed as one quoted argument, and
// the given standard handles, waits for it to end and returns its exit code.
DWORD runWithHandles(const std::wstring& program, const std::vector<std::wstring>& arguments,
                     const StandardHandles& handles);

struct ProgramRun {
  DWORD exitCode;
  std::string output;  // standard output and error together, with \r\n as \n
};

// Runs `program` as runWithHandles does and collects what it prints.
ProgramRun runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments);

// A file opened so that a program started by the test can inherit it as a
// standard handle.
UniqueHandle openInheritable(const std::wstring& path, DWORD access, DWORD disposition);

// A program built in the same folder as the running test program.
std::wstring programBesideThisOne(const std::wstring& name);

}  // namespace korvane::test
