// CFileAccess early-bound through its vtable, on real files: the open and
// closed states with their messages, block transfers on the caller's memory,
// the file name as the client wrote it, error objects and release.
#include <windows.h>
#include <doctest/doctest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "FileAccessClient.h"
#include "FileTestSupport.h"
#include "Korvane_TLB.h"
#include "ServerModule.h"
#include "TestSupport.h"
#include "support/AnsiText.h"
#include "support/Bstr.h"
#include "support/Handle.h"

using korvane::Bstr;
using korvane::ComPtr;
using korvane::UniqueHandle;
using namespace korvane::test;

namespace {

constexpr const char* notOpen = "0x8000FFFF File not open";
constexpr const char* alreadyOpen = "0x8000FFFF File already open";
constexpr const char* openRefusesName = "0x8000FFFF File open";
constexpr const char* notBound = "0x8000FFFF I/O error 102";

struct Fixture {
  ServerModule server;
  TempFolder folder;
  std::wstring path = folder / L"data.bin";

  // An object made through the DLL's own class object.
  FileAccessClient newObject() const {
    ComPtr<ICFileAccess> object;
    REQUIRE(server.create(CLSID_CFileAccess, IID_ICFileAccess, object.putVoid()) == S_OK);
    return FileAccessClient(std::move(object));
  }
};

// An object made by COM from the registration, as a client program gets it.
FileAccessClient registeredObject() {
  ComPtr<ICFileAccess> object;
  REQUIRE(CoCreateInstance(CLSID_CFileAccess, nullptr, CLSCTX_INPROC_SERVER, IID_ICFileAccess,
                           object.putVoid()) == S_OK);
  return FileAccessClient(std::move(object));
}

// Whether some handle keeps the file open: an open without any sharing is
// refused while another handle exists.
bool heldOpen(const std::wstring& path) {
  UniqueHandle probe(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  return !probe.valid() && GetLastError() == ERROR_SHARING_VIOLATION;
}

UniqueHandle holdWithoutSharing(const std::wstring& path) {
  UniqueHandle holder(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  REQUIRE(holder.valid());
  return holder;
}

// The handle through which this process has the file open, found among
// the process's handles by the file's identity.
HANDLE handleOf(const std::wstring& path) {
  BY_HANDLE_FILE_INFORMATION wanted;
  {
    const UniqueHandle probe(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    REQUIRE(probe.valid());
    REQUIRE(GetFileInformationByHandle(probe.get(), &wanted));
  }
  for (std::uintptr_t value = 4; value < 0x10000; value += 4) {
    const HANDLE candidate = reinterpret_cast<HANDLE>(value);
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(candidate, &info) &&
        info.dwVolumeSerialNumber == wanted.dwVolumeSerialNumber &&
        info.nFileIndexHigh == wanted.nFileIndexHigh && info.nFileIndexLow == wanted.nFileIndexLow) {
      return candidate;
    }
  }
  FAIL("no handle of this process has the file open");
  return nullptr;
}

}  // namespace

TEST_CASE_FIXTURE(Fixture, "a new object is closed and nameless: the opens want a name, the rest an open file") {
  auto file = newObject();
  std::string block;
  const struct {
    std::string member;
    std::function<std::string()> call;
    const char* outcome;
  } cases[] = {
      {"State", [&] { return file.State(); }, "0"},
      {"FileName", [&] { return file.FileName(); }, "null"},
      {"Close", [&] { return file.Close(); }, notOpen},
      {"BlockRead", [&] { return file.read(block, 4); }, notOpen},
      {"BlockWrite", [&] { return file.write("abcd"); }, notOpen},
      {"Reset", [&] { return file.Reset(); }, notBound},
      {"Rewrite", [&] { return file.Rewrite(); }, notBound},
  };
  for (const auto& c : cases) {
    CAPTURE(c.member);
    CHECK(c.call() == c.outcome);
    CHECK(file.State() == "0");
  }
  CHECK(folder.entries().empty());
}

TEST_CASE_FIXTURE(Fixture, "the states of one file: each member is refused in the state it does not belong to") {
  // Both ways of getting an object lead to the same behaviour.
  const struct {
    std::string route;
    std::function<FileAccessClient()> make;
  } routes[] = {
      {"the DLL's class object", [&] { return newObject(); }},
      {"COM from the registration", [] { return registeredObject(); }},
  };
  for (const auto& r : routes) {
    CAPTURE(r.route);
    const std::wstring path = folder / widen(r.route);
    const std::wstring other = path + L".other";
    auto file = r.make();

    CHECK(file.setFileName(path) == "ok");
    CHECK(file.FileName() == quoted(path));
    CHECK(file.Reset() == "0x8000FFFF File not found");
    CHECK(file.State() == "0");

    CHECK(file.Rewrite() == "-1");
    CHECK(file.State() == "1");
    CHECK(file.Reset() == alreadyOpen);
    CHECK(file.Rewrite() == alreadyOpen);
    CHECK(file.setFileName(other) == openRefusesName);
    CHECK(file.FileName() == quoted(path));
    CHECK(file.State() == "1");
    CHECK(file.write("still usable") == "12");  // the refusals left the file open

    CHECK(file.Close() == "-1");
    CHECK(file.State() == "0");
    CHECK(file.Close() == notOpen);
    CHECK(fileContent(path) == "still usable");

    // Opened again under the name still set.
    CHECK(file.Reset() == "-1");
    std::string block;
    CHECK(file.read(block, 64) == "12");
    CHECK(block == "still usable");
    CHECK(file.Close() == "-1");

    CHECK(file.setFileName(other) == "ok");
    CHECK(file.Rewrite() == "-1");
    CHECK(file.Close() == "-1");
    CHECK(fileExists(other));
    CHECK(fileContent(path) == "still usable");
  }
}

TEST_CASE_FIXTURE(Fixture, "BlockRead and BlockWrite move bytes between the file and the caller's memory at one position") {
  writeFileContent(path, "0123456789");
  auto file = newObject();
  file.setFileName(path);
  REQUIRE(file.Reset() == "-1");

  // Reset starts at the beginning: a write overwrites without shortening.
  CHECK(file.write("AB") == "2");
  CHECK(fileContent(path) == "AB23456789");  // unbuffered: on disk at once

  // The read goes on where the write ended, into exactly BufferSize bytes.
  char memory[8] = {'-', '-', '-', '-', '-', '-', '-', '-'};
  long count = -1;
  REQUIRE(file.get()->BlockRead(memory, 3, &count) == S_OK);
  CHECK(count == 3);
  CHECK(std::string(memory, sizeof memory) == "234-----");

  std::string block;
  CHECK(file.read(block, 100) == "5");  // fewer than asked is no failure
  CHECK(block == "56789");
  CHECK(file.read(block, 100) == "0");  // at the end of the file
  CHECK(file.read(block, 0) == "0");
  CHECK(file.write("") == "0");
  CHECK(file.State() == "1");
  CHECK(file.Close() == "-1");
  CHECK(fileContent(path) == "AB23456789");
}

TEST_CASE_FIXTURE(Fixture, "Rewrite empties an existing file, and a read right after it finds nothing") {
  writeFileContent(path, "old content");
  auto file = newObject();
  file.setFileName(path);
  CHECK(file.Rewrite() == "-1");
  CHECK(fileContent(path) == "");
  std::string block;
  CHECK(file.read(block, 16) == "0");
  const std::string large(256 * 1024, 'x');
  CHECK(file.write(large) == std::to_string(large.size()));  // one call, any size
  CHECK(file.Close() == "-1");
  CHECK(fileContent(path) == large);
}

TEST_CASE_FIXTURE(Fixture, "a negative BufferSize is refused with I/O error 87 and the file stays open where it was") {
  writeFileContent(path, "0123456789");
  auto file = newObject();
  file.setFileName(path);
  REQUIRE(file.Reset() == "-1");
  std::string block;
  REQUIRE(file.read(block, 2) == "2");

  for (const long size : {-1L, LONG_MIN}) {
    CAPTURE(size);
    char memory[4] = {'-', '-', '-', '-'};
    long count = -7;
    CHECK(file.get()->BlockRead(memory, size, &count) == E_UNEXPECTED);
    CHECK(failureOutcome(E_UNEXPECTED) == "0x8000FFFF I/O error 87");
    CHECK(count == -7);
    CHECK(std::string(memory, 4) == "----");
    CHECK(file.get()->BlockWrite(memory, size, &count) == E_UNEXPECTED);
    CHECK(failureOutcome(E_UNEXPECTED) == "0x8000FFFF I/O error 87");
    CHECK(count == -7);
    CHECK(file.State() == "1");
  }
  CHECK(file.read(block, 2) == "2");
  CHECK(block == "23");
  CHECK(file.Close() == "-1");
  CHECK(fileContent(path) == "0123456789");
}

TEST_CASE_FIXTURE(Fixture, "a refused open gives the system's reason, leaves the object closed and keeps the name") {
  REQUIRE(CreateDirectoryW((folder / L"folder").c_str(), nullptr));
  const std::wstring held = folder / L"held.bin";
  writeFileContent(held, "held");
  UniqueHandle holder = holdWithoutSharing(held);

  // A read-only file would be the everyday case of "File access denied", but
  // Wine running as root opens it for writing all the same. A folder cannot
  // be opened as a file by anyone.
  const struct {
    std::string situation;
    std::wstring name;
    const char* outcome;
  } cases[] = {
      {"missing folder", folder / L"missing\\data.bin", "0x8000FFFF Invalid filename"},
      {"a folder", folder / L"folder", "0x8000FFFF File access denied"},
      {"held open without sharing", held, "0x8000FFFF I/O error 32"},
  };
  for (const auto& c : cases) {
    CAPTURE(c.situation);
    auto file = newObject();
    CHECK(file.setFileName(c.name) == "ok");
    CHECK(file.Reset() == c.outcome);
    CHECK(file.Rewrite() == c.outcome);
    CHECK(file.State() == "0");
    CHECK(file.Close() == notOpen);
    CHECK(file.FileName() == quoted(c.name));
  }

  // Once the obstacle is gone the same object opens the same name.
  auto file = newObject();
  file.setFileName(held);
  CHECK(file.Reset() == "0x8000FFFF I/O error 32");
  holder = UniqueHandle();
  CHECK(file.Reset() == "-1");
  CHECK(file.Close() == "-1");
  CHECK(fileContent(held) == "held");
}

TEST_CASE_FIXTURE(Fixture, "two objects may have the same file open at once") {
  auto writer = newObject();
  auto reader = newObject();
  writer.setFileName(path);
  reader.setFileName(path);
  REQUIRE(writer.Rewrite() == "-1");
  REQUIRE(reader.Reset() == "-1");
  CHECK(writer.write("shared") == "6");
  std::string block;
  CHECK(reader.read(block, 16) == "6");
  CHECK(block == "shared");
  CHECK(writer.Close() == "-1");
  CHECK(reader.Close() == "-1");
}

TEST_CASE_FIXTURE(Fixture, "FileName reads back exactly what was set; the file opens under its 8-bit form") {
  // Neither U+0100 nor U+0416 is in the Western code pages: the conversion
  // gives the near equal 'A' for the first and '?' for the second.
  const struct {
    std::string what;
    std::wstring leaf;
    const char* rewrite;  // null: depends on the code page
  } cases[] = {
      {"plain", L"plain.bin", "-1"},
      {"with a near equal in the code page", L"\u0100.bin", nullptr},
      {"without an equal in the code page", L"\u0416.bin", nullptr},
      {"a zero character inside", std::wstring(L"zero\0inside.bin", 16), "0x8000FFFF Invalid filename"},
  };
  for (const auto& c : cases) {
    CAPTURE(c.what);
    const std::wstring name = folder / c.leaf;
    auto file = newObject();
    REQUIRE(file.setFileName(name) == "ok");
    BSTR read = nullptr;
    REQUIRE(file.get()->get_FileName(&read) == S_OK);
    const Bstr readBack = Bstr::adopt(read);
    CHECK(readBack.view() == name);

    // The file the system sees carries the converted name.
    const std::wstring converted = korvane::fromAnsi(korvane::toAnsi(c.leaf));
    if (c.rewrite) {
      CHECK(file.Rewrite() == c.rewrite);
    } else if (converted.find(L'?') != std::wstring::npos) {
      // A code page without a near equal gives '?', which no file name may hold.
      CHECK(file.Rewrite() == "0x8000FFFF I/O error 123");
    } else {
      CHECK(file.Rewrite() == "-1");
      CHECK(fileExists(folder / converted));
    }
    if (file.State() == "1") file.Close();
  }

  // The empty name, however written, reads back as a null BSTR.
  auto file = newObject();
  file.setFileName(path);
  CHECK(file.get()->put_FileName(nullptr) == S_OK);
  CHECK(file.FileName() == "null");
  file.setFileName(path);
  CHECK(file.setFileName(L"") == "ok");
  CHECK(file.FileName() == "null");
}

TEST_CASE_FIXTURE(Fixture, "releasing an object closes its open file") {
  writeFileContent(path, "content");
  {
    auto file = newObject();
    file.setFileName(path);
    REQUIRE(file.Reset() == "-1");
    CHECK(heldOpen(path));
  }
  CHECK_FALSE(heldOpen(path));
  {
    auto file = newObject();  // opened and closed again: nothing left to close
    file.setFileName(path);
    REQUIRE(file.Rewrite() == "-1");
    REQUIRE(file.Close() == "-1");
  }
  CHECK_FALSE(heldOpen(path));
  CHECK(server.canUnloadNow() == S_OK);
}

TEST_CASE_FIXTURE(Fixture, "after a Close the system refused, the object stays open over a closed file until released") {
  auto file = newObject();
  file.setFileName(path);
  REQUIRE(file.Rewrite() == "-1");
  // A handle protected from closing makes CloseHandle fail.
  const HANDLE handle = handleOf(path);
  REQUIRE(SetHandleInformation(handle, HANDLE_FLAG_PROTECT_FROM_CLOSE, HANDLE_FLAG_PROTECT_FROM_CLOSE));

  CHECK(file.Close() == "0x8000FFFF I/O error 1");
  CHECK(file.State() == "1");
  std::string block;
  CHECK(file.read(block, 4) == "0x8000FFFF I/O error 103");
  CHECK(file.write("abcd") == "0x8000FFFF I/O error 103");
  CHECK(file.Close() == "0x8000FFFF I/O error 103");
  CHECK(file.Reset() == alreadyOpen);
  CHECK(file.Rewrite() == alreadyOpen);
  CHECK(file.setFileName(folder / L"other.bin") == openRefusesName);
  CHECK(file.State() == "1");

  // Releasing the object ends this state; the handle is the system's now.
  file.release();
  CHECK(server.canUnloadNow() == S_OK);
  CHECK(heldOpen(path));
  REQUIRE(SetHandleInformation(handle, HANDLE_FLAG_PROTECT_FROM_CLOSE, 0));
  CHECK(CloseHandle(handle));
  CHECK_FALSE(heldOpen(path));
}

TEST_CASE_FIXTURE(Fixture, "every failure leaves an error object of ICFileAccess with the message") {
  auto file = newObject();
  ComPtr<ISupportErrorInfo> support;
  REQUIRE(ComPtr<ICFileAccess>(file.get()).query(IID_ISupportErrorInfo, support) == S_OK);
  REQUIRE(support->InterfaceSupportsErrorInfo(IID_ICFileAccess) == S_OK);

  const std::wstring missing = folder / L"missing.bin";
  VARIANT_BOOL done = 0;
  long count = 0;
  char memory[4];
  const struct {
    std::string call;
    std::function<HRESULT()> run;
    const wchar_t* description;
  } cases[] = {
      {"Close", [&] { return file.get()->Close(&done); }, L"File not open"},
      {"BlockWrite", [&] { return file.get()->BlockWrite(memory, 4, &count); }, L"File not open"},
      {"Reset", [&] { return file.get()->Reset(&done); }, L"I/O error 102"},
      {"Reset", [&] {
         file.setFileName(missing);
         return file.get()->Reset(&done);
       }, L"File not found"},
      {"Rewrite", [&] {
         file.setFileName(path);
         file.Rewrite();
         return file.get()->Rewrite(&done);
       }, L"File already open"},
      {"put FileName", [&] { return file.get()->put_FileName(Bstr(missing).get()); }, L"File open"},
  };
  for (const auto& c : cases) {
    CAPTURE(c.call);
    SetErrorInfo(0, nullptr);
    CHECK(c.run() == static_cast<HRESULT>(0x8000FFFF));
    ComPtr<IErrorInfo> info;
    REQUIRE(GetErrorInfo(0, info.put()) == S_OK);
    REQUIRE(info);
    GUID guid{};
    Bstr source, description, helpFile;
    DWORD helpContext = 99;
    CHECK(info->GetGUID(&guid) == S_OK);
    CHECK(info->GetSource(source.put()) == S_OK);
    CHECK(info->GetDescription(description.put()) == S_OK);
    CHECK(info->GetHelpFile(helpFile.put()) == S_OK);
    CHECK(info->GetHelpContext(&helpContext) == S_OK);
    CHECK(IsEqualGUID(guid, IID_ICFileAccess));
    CHECK(source.view() == L"Korvane.CFileAccess");
    CHECK(description.view() == c.description);
    CHECK(helpFile.view() == L"");
    CHECK(helpContext == 0);
  }
}
