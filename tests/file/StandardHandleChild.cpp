// Started by the standard-handle tests with standard handles of their choice.
// Works on the empty name, which stands for the standard input and output,
// and writes one line per operation to its standard error: the operation and
// what it came to. The test compares that transcript and the output.
#include <windows.h>

#include <string>

#include "FileTestSupport.h"
#include "file/BinaryFile.h"

using korvane::BinaryFile;
using korvane::test::outcomeOf;

namespace {

template <class Operation>
void step(const char* name, Operation&& operation) {
  const std::string line = std::string(name) + ": " + outcomeOf(operation) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), DWORD(line.size()), &written, nullptr);
}

}  // namespace

int main() {
  BinaryFile file;
  file.Bind(L"");

  // Everything the standard input holds, up to its end.
  std::string input;
  step("OpenExisting", [&] { file.OpenExisting(); });
  for (long read = 1; read > 0;) {
    char block[64];
    read = 0;
    step("ReadBlock", [&] { return read = file.ReadBlock(block, sizeof block); });
    input.append(block, read);
  }
  step("Close", [&] { file.Close(); });

  // Close did not close the standard input: it can be opened and read again.
  step("OpenExisting", [&] { file.OpenExisting(); });
  step("ReadBlock", [&] { char block[64]; return file.ReadBlock(block, sizeof block); });
  step("Close", [&] { file.Close(); });

  const std::string echo = "read: " + input;
  step("CreateOrTruncate", [&] { file.CreateOrTruncate(); });
  step("WriteBlock", [&] { return file.WriteBlock(echo.data(), long(echo.size())); });
  step("Close", [&] { file.Close(); });

  // Nor the standard output.
  const std::string after = "after Close\n";
  step("CreateOrTruncate", [&] { file.CreateOrTruncate(); });
  step("WriteBlock", [&] { return file.WriteBlock(after.data(), long(after.size())); });
  step("Close", [&] { file.Close(); });
  return 0;
}
