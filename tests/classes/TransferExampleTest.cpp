// The TransferWithProgress example as a user runs it against the registered
// DLL: a file into a new row and back on each backend, with its progress bar,
// and what it says when a transfer does not happen.
#include <windows.h>
#include <doctest/doctest.h>

#include "ChildProcess.h"
#include "TestSupport.h"
#include "TransferFixture.h"

using namespace korvane::test;

namespace {

ProgramRun transferWithProgress(const std::vector<std::wstring>& arguments) {
  return runProgram(windowsPath(KORVANE_TRANSFER_EXAMPLE), arguments);
}

// Into a pipe, the bar grows on one line.
const std::string fullBar = "  [" + std::string(50, '#') + "] 100%\n";

}  // namespace

TEST_CASE("TransferWithProgress writes a file into a new row and reads the row back") {
  forEachBackend([&](const Backend& backend) {
    TransferFixture t(backend, L"example");
    const auto content = pattern(300000, 31);
    writeFile(t.folder + L"sample.bin", content);

    ProgramRun run = transferWithProgress({L"write", backend.connection, t.table, L"img", t.folder + L"sample.bin"});
    CAPTURE(run.output);
    CHECK(run.exitCode == 0);
    CHECK(run.output.starts_with(fullBar + "  done in "));
    CHECK(t.db.bytes(L"SELECT img FROM " + t.table) == content);

    t.db.execute(L"UPDATE " + t.table + L" SET id = 7");
    run = transferWithProgress({L"read", backend.connection, t.table, L"img", L"id", L"7", t.folder + L"copy.bin"});
    CAPTURE(run.output);
    CHECK(run.exitCode == 0);
    CHECK(run.output.starts_with(fullBar + "  done in "));
    CHECK(readFile(t.folder + L"copy.bin") == content);
  });
}

TEST_CASE("TransferWithProgress tells a missing row from a failure") {
  const Backend& sqlite = backends().front();
  TransferFixture t(sqlite, L"example_outcomes");

  ProgramRun run = transferWithProgress({L"read", sqlite.connection, t.table, L"img", L"id", L"99", t.folder + L"copy.bin"});
  CHECK(run.exitCode == 1);
  // A read that finds no row still sends the opening 0 and the closing 100.
  CHECK(run.output.starts_with(fullBar + "  nothing to transfer (result false) in "));

  run = transferWithProgress({L"write", sqlite.connection, t.table, L"img", t.folder + L"missing.bin"});
  CHECK(run.exitCode == 1);
  CHECK(run.output.starts_with("  failed: File not found in "));
}
