#include <windows.h>
#include <doctest/doctest.h>

#include <climits>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "FileTestSupport.h"
#include "file/BinaryFile.h"
#include "support/Handle.h"

using korvane::BinaryFile;
using korvane::IoFailure;
using korvane::UniqueHandle;
using namespace korvane::test;

namespace {

struct NamedOperation {
  const char* name;
  std::function<void(BinaryFile&)> run;
};

const NamedOperation openExisting{"OpenExisting", [](BinaryFile& f) { f.OpenExisting(); }};
const NamedOperation createOrTruncate{"CreateOrTruncate", [](BinaryFile& f) { f.CreateOrTruncate(); }};

// Every operation that needs an open file.
const NamedOperation operationsOnOpenFile[] = {
    {"ReadBlock", [](BinaryFile& f) { char block[4]; f.ReadBlock(block, sizeof block); }},
    {"WriteBlock", [](BinaryFile& f) { f.WriteBlock("abcd", 4); }},
    {"Size", [](BinaryFile& f) { f.Size(); }},
    {"Position", [](BinaryFile& f) { f.Position(); }},
    {"AtEnd", [](BinaryFile& f) { f.AtEnd(); }},
    {"Close", [](BinaryFile& f) { f.Close(); }},
};

constexpr const char* notOpen = "103: I/O error 103";

struct FileFixture {
  TempFolder folder;
  std::wstring path = folder / L"data.bin";
  BinaryFile file;
};

std::string readBlock(BinaryFile& file, long count) {
  std::string block(count, '\0');
  block.resize(file.ReadBlock(block.data(), count));
  return block;
}

long writeBlock(BinaryFile& file, std::string_view bytes) {
  return file.WriteBlock(bytes.data(), static_cast<long>(bytes.size()));
}

// Whether some handle keeps the file open: an open without any sharing is
// refused while another handle exists.
bool heldOpen(const std::wstring& path) {
  UniqueHandle probe(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  return !probe.valid() && GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace

TEST_CASE("each I/O code has one message: a fixed text or the code in signed decimal") {
  const struct {
    int code;
    const char* message;
  } cases[] = {
      {2, "File not found"},
      {3, "Invalid filename"},
      {4, "Too many open files"},
      {5, "File access denied"},
      {100, "Read beyond end of file"},
      {101, "Disk full"},
      {106, "Invalid numeric input"},
      {0, "I/O error 0"},
      {1, "I/O error 1"},
      {32, "I/O error 32"},
      {87, "I/O error 87"},
      {102, "I/O error 102"},
      {103, "I/O error 103"},
      {112, "I/O error 112"},  // a full disk as the system reports it, not "Disk full"
      {-1, "I/O error -1"},
      {static_cast<int>(0x80070005), "I/O error -2147024891"},
      {INT_MIN, "I/O error -2147483648"},
  };
  for (const auto& [code, message] : cases) {
    CAPTURE(code);
    CHECK(korvane::toAnsi(korvane::ioErrorMessage(code)) == message);
    const IoFailure failure(code);
    CHECK(failure.ioCode() == code);
    CHECK(korvane::toAnsi(failure.message()) == message);
  }
}

TEST_CASE_FIXTURE(FileFixture, "a file written, closed and opened again reads back what was written") {
  file.Bind(path);
  file.CreateOrTruncate();
  CHECK(file.Size() == 0);
  CHECK(file.AtEnd());
  CHECK(writeBlock(file, "hello world") == 11);
  CHECK(fileContent(path) == "hello world");  // unbuffered: on disk before Close
  CHECK(file.Position() == 11);
  CHECK(file.Size() == 11);
  CHECK(file.AtEnd());
  file.Close();

  file.OpenExisting();  // under the name still bound
  CHECK(file.Position() == 0);
  CHECK_FALSE(file.AtEnd());
  CHECK(readBlock(file, 5) == "hello");
  CHECK(file.Position() == 5);
  CHECK(readBlock(file, 100) == " world");  // fewer bytes than asked is no failure
  CHECK(file.AtEnd());
  CHECK(readBlock(file, 100) == "");  // at the end
  CHECK(file.Position() == 11);
  file.Close();
}

TEST_CASE_FIXTURE(FileFixture, "an empty file is at its end as soon as it is opened") {
  writeFileContent(path, "");
  file.Bind(path);
  file.OpenExisting();
  CHECK(file.Size() == 0);
  CHECK(file.AtEnd());
  CHECK(readBlock(file, 16) == "");
}

TEST_CASE_FIXTURE(FileFixture, "CreateOrTruncate empties an existing file") {
  writeFileContent(path, "old content");
  file.Bind(path);
  file.CreateOrTruncate();
  CHECK(file.Size() == 0);
  CHECK(readBlock(file, 16) == "");
  file.Close();
  CHECK(fileContent(path) == "");
}

TEST_CASE_FIXTURE(FileFixture, "WriteBlock after OpenExisting overwrites from the start and keeps the length") {
  writeFileContent(path, "0123456789");
  file.Bind(path);
  file.OpenExisting();
  CHECK(writeBlock(file, "abc") == 3);
  CHECK(file.Size() == 10);
  CHECK(readBlock(file, 3) == "345");  // reads and writes share one position
  file.Close();
  CHECK(fileContent(path) == "abc3456789");
}

TEST_CASE_FIXTURE(FileFixture, "a count of 0 transfers nothing and a negative count is refused; the file stays open") {
  const struct {
    long count;
    const char* outcome;
  } cases[] = {
      {0, "0"},
      {-1, "87: I/O error 87"},
      {LONG_MIN, "87: I/O error 87"},
  };
  writeFileContent(path, "0123456789");
  file.Bind(path);
  file.OpenExisting();
  CHECK(readBlock(file, 2) == "01");
  for (const auto& [count, outcome] : cases) {
    CAPTURE(count);
    std::string block(8, 'x');
    CHECK(outcomeOf([&] { return file.ReadBlock(block.data(), count); }) == outcome);
    CHECK(block == "xxxxxxxx");
    CHECK(outcomeOf([&] { return file.WriteBlock("WXYZ", count); }) == outcome);
    CHECK(file.Position() == 2);
  }
  CHECK(readBlock(file, 2) == "23");
  file.Close();
  CHECK(fileContent(path) == "0123456789");
}

TEST_CASE_FIXTURE(FileFixture, "a transfer the system refuses fails with its code and leaves the file open") {
  writeFileContent(path, "0123456789");
  file.Bind(path);
  file.OpenExisting();
  // Memory the process may read but not write: the system cannot read into it.
  void* readOnly = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY);
  REQUIRE(readOnly != nullptr);
  CHECK(outcomeOf([&] { return file.ReadBlock(readOnly, 4); }) == "998: I/O error 998");
  VirtualFree(readOnly, 0, MEM_RELEASE);
  CHECK(file.Position() == 0);
  CHECK(readBlock(file, 4) == "0123");
}

TEST_CASE("an unbound file refuses the opens with 102, everything else with 103, and stays unbound") {
  BinaryFile file;
  for (const auto& operation : operationsOnOpenFile) {
    CAPTURE(operation.name);
    CHECK(outcomeOf([&] { operation.run(file); }) == notOpen);
  }
  for (const auto& open : {openExisting, createOrTruncate}) {
    CAPTURE(open.name);
    CHECK(outcomeOf([&] { open.run(file); }) == "102: I/O error 102");
    CHECK(outcomeOf([&] { open.run(file); }) == "102: I/O error 102");
  }
}

TEST_CASE_FIXTURE(FileFixture, "a closed file refuses everything but the opens with 103 and keeps its name") {
  writeFileContent(path, "content");
  SUBCASE("bound and never opened") { file.Bind(path); }
  SUBCASE("opened and closed") {
    file.Bind(path);
    file.OpenExisting();
    file.Close();
  }
  for (const auto& operation : operationsOnOpenFile) {
    CAPTURE(operation.name);
    CHECK(outcomeOf([&] { operation.run(file); }) == notOpen);
  }
  file.OpenExisting();
  CHECK(readBlock(file, 16) == "content");
}

TEST_CASE_FIXTURE(FileFixture, "a failed open leaves the file closed with its name, and can be repeated") {
  file.Bind(path);
  CHECK(outcomeOf([&] { file.OpenExisting(); }) == "2: File not found");
  CHECK(outcomeOf([&] { file.Size(); }) == notOpen);
  writeFileContent(path, "here now");
  file.OpenExisting();
  CHECK(readBlock(file, 16) == "here now");
}

TEST_CASE("a refused open reports the system's code with its message") {
  TempFolder folder;
  REQUIRE(CreateDirectoryW((folder / L"folder").c_str(), nullptr));
  const std::wstring held = folder / L"held.bin";
  writeFileContent(held, "held");
  UniqueHandle holder(CreateFileW(held.c_str(), GENERIC_READ, 0 /* no sharing */, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  REQUIRE(holder.valid());

  // A read-only file would be the everyday case of "File access denied", but
  // Wine running as root opens it for writing all the same. A folder cannot
  // be opened as a file by anyone.
  const struct {
    const char* situation;
    std::wstring name;
    const NamedOperation& open;
    const char* outcome;
  } cases[] = {
      {"missing file", folder / L"missing.bin", openExisting, "2: File not found"},
      {"missing folder", folder / L"missing\\data.bin", openExisting, "3: Invalid filename"},
      {"missing folder", folder / L"missing\\data.bin", createOrTruncate, "3: Invalid filename"},
      {"a folder", folder / L"folder", openExisting, "5: File access denied"},
      {"a folder", folder / L"folder", createOrTruncate, "5: File access denied"},
      {"held open without sharing", held, openExisting, "32: I/O error 32"},
      {"held open without sharing", held, createOrTruncate, "32: I/O error 32"},
  };
  for (const auto& c : cases) {
    CAPTURE(c.situation);
    CAPTURE(c.open.name);
    BinaryFile file;
    file.Bind(c.name);
    CHECK(outcomeOf([&] { c.open.run(file); }) == c.outcome);
    CHECK(outcomeOf([&] { file.Size(); }) == notOpen);
  }
  CHECK_FALSE(fileExists(folder / L"missing.bin"));
  CHECK_FALSE(fileExists(folder / L"missing"));
  holder = UniqueHandle();
  CHECK(fileContent(held) == "held");
}

TEST_CASE("names the system cannot take as given fail at the open with 3 and touch no disk") {
  TempFolder folder;
  const std::wstring base = folder.path() + L"\\";
  // Plain ASCII, so that every character is one byte of the 8-bit name.
  const auto nameOfBytes = [&](std::size_t bytes) { return base + std::wstring(bytes - base.size(), L'n'); };
  REQUIRE(base.size() < 200);

  const struct {
    const char* name;
    std::wstring path;
    const char* outcome;
  } cases[] = {
      {"259 bytes, the longest the system takes", nameOfBytes(259), "ok"},
      {"260 bytes", nameOfBytes(260), "3: Invalid filename"},
      {"300 bytes", nameOfBytes(300), "3: Invalid filename"},
      // It would otherwise open "cut.bin", a file that was not named.
      {"a zero character inside", base + std::wstring(L"cut.bin\0.txt", 12), "3: Invalid filename"},
  };
  for (const auto& c : cases) {
    CAPTURE(c.name);
    for (const auto& open : {createOrTruncate, openExisting}) {
      CAPTURE(open.name);
      BinaryFile file;
      file.Bind(c.path);
      CHECK(outcomeOf([&] { open.run(file); }) == c.outcome);
    }
  }
  const auto entries = folder.entries();
  REQUIRE(entries.size() == 1);
  CHECK(base + entries[0] == nameOfBytes(259));
}

TEST_CASE("a name reaches the system in the ANSI code page") {
  const std::wstring name = L"caf\u00e9.bin";
  if (korvane::fromAnsi(korvane::toAnsi(name)) != name) {
    MESSAGE("skipped: the ANSI code page " << GetACP() << " has no e with acute accent");
    return;
  }
  TempFolder folder;
  BinaryFile file;
  file.Bind(folder / name);
  file.CreateOrTruncate();
  file.Close();
  CHECK(fileExists(folder / name));
}

TEST_CASE("Close, destruction and a new binding let go of a file opened by name") {
  TempFolder folder;
  const std::wstring path = folder / L"data.bin";
  writeFileContent(path, "content");
  const struct {
    const char* how;
    std::function<void(std::optional<BinaryFile>&)> letGo;
  } ways[] = {
      {"Close", [](std::optional<BinaryFile>& file) { file->Close(); }},
      {"destruction", [](std::optional<BinaryFile>& file) { file.reset(); }},
      {"a new binding", [](std::optional<BinaryFile>& file) { file->Bind(L"other.bin"); }},
  };
  for (const auto& way : ways) {
    CAPTURE(way.how);
    std::optional<BinaryFile> file;
    file.emplace();
    file->Bind(path);
    file->OpenExisting();
    CHECK(heldOpen(path));
    way.letGo(file);
    CHECK_FALSE(heldOpen(path));
  }
}
