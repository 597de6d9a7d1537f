// CKorvane as client programs reach it once Korvane.dll is registered:
// CoCreateInstance by CLSID or ProgID, and the C++ example ListRegistryValues
// run against a key the test creates.
#include <windows.h>
#include <doctest/doctest.h>

#include <map>
#include <string>

#include "ChildProcess.h"
#include "Korvane_TLB.h"
#include "ScratchKey.h"
#include "ServerModule.h"
#include "TestSupport.h"
#include "support/Bstr.h"
#include "support/ComPtr.h"

using namespace std::string_literals;
using korvane::Bstr;
using korvane::ComPtr;
using korvane::test::ComApartment;
using korvane::test::ProgramRun;
using korvane::test::runProgram;
using korvane::test::windowsPath;
using korvane::test::currentUserKey;
using korvane::test::narrow;
using korvane::test::ScratchKey;
using korvane::test::widen;

namespace {

std::string computerName() {
  char name[256];
  DWORD length = sizeof name;
  REQUIRE(GetComputerNameA(name, &length));
  return std::string(name, length);
}

// Every value of a key, name to data, read the way a client loops over them.
std::map<std::wstring, std::wstring> allValues(ICKorvane& korvane, const std::string& path) {
  const Bstr subKey(widen(path));
  std::map<std::wstring, std::wstring> values;
  for (long index = 0;; ++index) {
    Bstr name, value;
    long type = 0;
    const long code = korvane.RegEnumValue(currentUserKey(), subKey.get(), index, name.put(), &type, value.put());
    if (code == ERROR_NO_MORE_ITEMS) return values;
    REQUIRE(code == ERROR_SUCCESS);
    values[std::wstring(name.view())] = value.view();
  }
}

ProgramRun runExample(const std::string& subKey) {
  return runProgram(windowsPath(KORVANE_LISTREGISTRYVALUES_EXAMPLE), {widen(subKey)});
}

}  // namespace

TEST_CASE("a registered CKorvane is created by CLSID and by ProgID and reads a key's values") {
  ComApartment apartment;
  ScratchKey key;
  key.setString("greeting", "hello");
  key.setNumber("count", 1);

  CLSID byProgId{};
  REQUIRE(CLSIDFromProgID(L"Korvane.CKorvane", &byProgId) == S_OK);
  for (const CLSID* clsid : {&CLSID_CKorvane, static_cast<const CLSID*>(&byProgId)}) {
    ComPtr<ICKorvane> korvane;
    REQUIRE(CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ICKorvane, korvane.putVoid()) == S_OK);
    const std::map<std::wstring, std::wstring> expected = {{L"greeting", L"hello\0"s}, {L"count", L"\1\0\0\0"s}};
    CHECK(allValues(*korvane.get(), key.path()) == expected);

    VARIANT name;
    korvane->GetcomputerName(&name);
    REQUIRE(V_VT(&name) == VT_BSTR);
    CHECK(narrow(std::wstring(Bstr::view(V_BSTR(&name)))) == computerName());
    VariantClear(&name);
  }
}

TEST_CASE("the example lists a key's values and the computer name") {
  ScratchKey key;
  key.setString("greeting", "hello");
  key.setNumber("count", 42);
  const BYTE binary[] = {0xDE, 0xAD, 0x00, 0x80};
  key.set("bytes", REG_BINARY, binary);
  const std::string tooLong(256, 'x');
  key.set("too long", REG_BINARY, std::span(reinterpret_cast<const BYTE*>(tooLong.data()), tooLong.size()));

  const ProgramRun run = runExample(key.path());
  CAPTURE(run.output);
  CHECK(run.exitCode == 0);
  // The registry decides the order of the values.
  for (const std::string& line : {"HKEY_CURRENT_USER\\" + key.path(), "  greeting (type 1) = hello"s,
                                  "  count (type 4) = 42"s, "  bytes (type 3) = de ad 00 80"s,
                                  "Computer name: " + computerName()}) {
    CAPTURE(line);
    CHECK(run.output.find(line + "\n") != std::string::npos);
  }
  CHECK(run.output.find(": name or data longer than 255 bytes\n") != std::string::npos);
}

TEST_CASE("the example reports a key it cannot read") {
  ScratchKey key;
  const ProgramRun run = runExample(key.path() + "\\missing");
  CAPTURE(run.output);
  CHECK(run.exitCode == 1);
  CHECK(run.output.find("the key cannot be read: code ") != std::string::npos);
}
