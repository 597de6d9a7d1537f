// Started by the standard-handle test with standard handles of its choice.
// A CFileAccess object with the empty FileName reads everything from the
// standard input and writes it back to the standard output; each call goes
// as one line "<call>: <outcome>" to the standard error, which the test
// compares.
#include <windows.h>

#include <string>

#include "FileAccessClient.h"
#include "ServerModule.h"

using namespace korvane::test;

namespace {

void step(const char* call, const std::string& outcome) {
  const std::string line = std::string(call) + ": " + outcome + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), DWORD(line.size()), &written, nullptr);
}

}  // namespace

int main() {
  ServerModule server;
  korvane::ComPtr<ICFileAccess> object;
  if (FAILED(server.create(CLSID_CFileAccess, IID_ICFileAccess, object.putVoid()))) return 1;
  FileAccessClient file(std::move(object));

  step("put FileName", file.setFileName(L""));
  step("FileName", file.FileName());
  step("Reset", file.Reset());
  std::string input, block;
  do {
    step("BlockRead", file.read(block, 64));
    input += block;
  } while (!block.empty());
  step("Close", file.Close());

  step("Rewrite", file.Rewrite());
  step("BlockWrite", file.write("read: " + input));
  step("Close", file.Close());
  // Close left the standard output open: it takes a second write.
  step("Rewrite", file.Rewrite());
  step("BlockWrite", file.write("after Close\n"));
  step("Close", file.Close());
  return 0;
}
