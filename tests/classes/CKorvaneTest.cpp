// CKorvane through the DLL's exported entry points: the values of registry
// keys the test creates under HKEY_CURRENT_USER, read one index at a time,
// and the computer name. The test runs with the automation string cache off
// (OANOCACHE=1) so that it can see which of the caller's strings get freed.
#include <windows.h>
#include <doctest/doctest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "FreedBlocks.h"
#include "Korvane_TLB.h"
#include "ScratchKey.h"
#include "ServerModule.h"
#include "TestSupport.h"
#include "support/Bstr.h"
#include "support/ComPtr.h"
#include "support/RegKey.h"

using namespace std::string_literals;
using korvane::Bstr;
using korvane::ComPtr;
using korvane::RegKey;
using korvane::test::currentUserKey;
using korvane::test::hasBeenFreed;
using korvane::test::keyAsLong;
using korvane::test::narrow;
using korvane::test::ScratchKey;
using korvane::test::ServerModule;
using korvane::test::watchedString;
using korvane::test::widen;

namespace {

// A CKorvane object made through the DLL's class object.
struct Korvane {
  ServerModule server;
  ComPtr<ICKorvane> object;

  Korvane() { REQUIRE(server.create(CLSID_CKorvane, IID_ICKorvane, object.putVoid()) == S_OK); }
  ICKorvane* operator->() const { return object.get(); }
};

constexpr long typeBeforeTheCall = -7;

// What one RegEnumValue call left in the caller's variables. They start out
// holding the caller's own strings and a type of -7.
struct Enumerated {
  long code;
  Bstr name;
  long type;
  Bstr value;
  bool callersStringsFreed;
};

// A BSTR for SubKeyName: null for a null text, else an allocated string
// (an empty one for L"").
Bstr subKeyName(const wchar_t* text) {
  return text ? Bstr::adopt(SysAllocString(text)) : Bstr();
}

Enumerated enumerate(const Korvane& korvane, long key, const wchar_t* subKey, long index) {
  BSTR name = watchedString(L"the caller's name");
  BSTR value = watchedString(L"the caller's value");
  const BSTR callersName = name, callersValue = value;
  long type = typeBeforeTheCall;
  const long code = korvane->RegEnumValue(key, subKeyName(subKey).get(), index, &name, &type, &value);
  const bool freed = hasBeenFreed(callersName) && hasBeenFreed(callersValue);
  return {code, Bstr::adopt(name), type, Bstr::adopt(value), freed};
}

// The characters of a text as code points, for comparisons whose failures
// show embedded zeros and characters outside ASCII.
std::string codePoints(std::wstring_view text) {
  std::string shown;
  for (const wchar_t c : text) {
    char point[12];
    std::snprintf(point, sizeof point, "%s%X", shown.empty() ? "" : " ", static_cast<unsigned>(c));
    shown += point;
  }
  return shown;
}

// An empty result is a null BSTR, not an allocated empty string.
void checkText(const Bstr& actual, const std::wstring& expected) {
  CHECK(codePoints(actual.view()) == codePoints(expected));
  CHECK((actual.get() == nullptr) == expected.empty());
}

std::vector<BYTE> bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

std::string letters(size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += static_cast<char>('a' + i % 26);
  return text;
}

std::wstring widened(const std::string& text) {
  return std::wstring(text.begin(), text.end());  // ASCII only
}

std::wstring systemComputerName() {
  char name[256];
  DWORD length = sizeof name;
  REQUIRE(GetComputerNameA(name, &length));
  return widen(std::string(name, length));
}

// Whether a key handle of the test is still open and usable.
bool usable(HKEY key) {
  DWORD values = 0;
  return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                          nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace

TEST_CASE("the test sees the caller's strings freed") {
  // Without OANOCACHE=1 freed strings stay in a cache the spy cannot see.
  BSTR s = watchedString(L"watched");
  SysFreeString(s);
  REQUIRE_MESSAGE(hasBeenFreed(s), "run this test with OANOCACHE=1");
}

TEST_CASE("a value comes back with its name, its type and one character per data byte") {
  // The data bytes go through the ANSI code page one at a time: 0x80 is the
  // euro sign in code page 1252, which Wine takes from the C locale.
  REQUIRE(GetACP() == 1252);

  struct ValueCase {
    const char* what;
    std::string name;  // ANSI; empty for the key's unnamed default value
    DWORD type;
    std::vector<BYTE> data;
    long code;
    std::wstring expectedName;
    std::wstring expectedValue;
  };
  const ValueCase cases[] = {
      {"a string ends with its terminating zero", "greeting", REG_SZ, bytes("abc\0"s), ERROR_SUCCESS, L"greeting",
       L"abc\0"s},
      {"a 32-bit number gives its four bytes, low byte first", "count", REG_DWORD, {1, 0, 0, 0}, ERROR_SUCCESS,
       L"count", L"\1\0\0\0"s},
      {"bytes go through code page 1252, zero bytes included", "bytes", REG_BINARY, {0x80, 0xE9, 0x00, 0x41},
       ERROR_SUCCESS, L"bytes", L"\u20AC\u00E9\0A"s},
      {"255 data bytes come back whole", "full", REG_BINARY, bytes(letters(255)), ERROR_SUCCESS, L"full",
       widened(letters(255))},
      {"256 data bytes are too many", "over", REG_BINARY, bytes(letters(256)), ERROR_MORE_DATA, L"", L""},
      {"a name of 254 characters fits", std::string(254, 'n'), REG_BINARY, {7}, ERROR_SUCCESS,
       std::wstring(254, L'n'), L"\7"},
      {"a name of 255 characters is too long", std::string(255, 'n'), REG_BINARY, {7}, ERROR_MORE_DATA, L"", L""},
      {"the unnamed default value has an empty name", "", REG_SZ, bytes("d\0"s), ERROR_SUCCESS, L"", L"d\0"s},
      {"a value without data has an empty value", "nothing", REG_BINARY, {}, ERROR_SUCCESS, L"nothing", L""},
  };

  Korvane korvane;
  for (const auto& c : cases) {
    INFO(std::string(c.what));
    ScratchKey key;
    key.set(c.name.c_str(), c.type, c.data);
    const auto result = enumerate(korvane, currentUserKey(), widen(key.path()).c_str(), 0);
    CHECK(result.code == c.code);
    if (c.code == ERROR_SUCCESS) CHECK(result.type == static_cast<long>(c.type));
    checkText(result.name, c.expectedName);
    checkText(result.value, c.expectedValue);
    CHECK(result.callersStringsFreed);
  }
}

TEST_CASE("values are reached by index, and past the last one the result is 259 with empty strings") {
  Korvane korvane;
  ScratchKey key;
  const std::set<std::wstring> written = {L"first", L"second", L"third"};
  for (const auto& name : written) key.setString(narrow(name).c_str(), "text");

  std::set<std::wstring> found;
  for (long index = 0; index < static_cast<long>(written.size()); ++index) {
    const auto result = enumerate(korvane, currentUserKey(), widen(key.path()).c_str(), index);
    REQUIRE(result.code == ERROR_SUCCESS);
    CHECK(result.type == REG_SZ);
    checkText(result.value, L"text\0"s);
    found.insert(std::wstring(result.name.view()));
  }
  CHECK(found == written);

  // A negative index reaches the registry as a huge unsigned one.
  for (const long index : {static_cast<long>(written.size()), -1L, LONG_MIN}) {
    CAPTURE(index);
    const auto result = enumerate(korvane, currentUserKey(), widen(key.path()).c_str(), index);
    CHECK(result.code == ERROR_NO_MORE_ITEMS);
    CHECK(result.name.get() == nullptr);
    CHECK(result.value.get() == nullptr);
    CHECK(result.callersStringsFreed);
  }
}

TEST_CASE("the key is a handle and a sub-key path, and a handle of the caller stays open") {
  ScratchKey key;
  key.setString("outer", "o");
  key.setString("inner", "i", "inner");
  // Sub-key and value names pass through the ANSI code page both ways.
  key.setString("\x80", "c", "Caf\xE9");
  RegKey callersKey;
  REQUIRE(RegOpenKeyExA(HKEY_CURRENT_USER, key.path().c_str(), 0, KEY_READ, callersKey.put()) == ERROR_SUCCESS);
  const std::wstring path = widen(key.path());

  struct KeyCase {
    const char* what;
    long key;
    std::wstring subKey;
    bool nullSubKey;
    std::wstring expectedName;
  };
  const KeyCase cases[] = {
      {"HKEY_CURRENT_USER and the full path", currentUserKey(), path, false, L"outer"},
      {"an open key and a relative path", keyAsLong(callersKey.get()), L"inner", false, L"inner"},
      {"an open key and a null sub-key name", keyAsLong(callersKey.get()), L"", true, L"outer"},
      {"an open key and an empty sub-key name", keyAsLong(callersKey.get()), L"", false, L"outer"},
      {"a sub-key name outside ASCII", keyAsLong(callersKey.get()), L"Caf\u00E9", false, L"\u20AC"},
  };

  Korvane korvane;
  for (const auto& c : cases) {
    INFO(std::string(c.what));
    const auto result = enumerate(korvane, c.key, c.nullSubKey ? nullptr : c.subKey.c_str(), 0);
    CHECK(result.code == ERROR_SUCCESS);
    checkText(result.name, c.expectedName);
    CHECK(usable(callersKey.get()));
  }
}

TEST_CASE("a missing sub-key gives the registry's failure and frees the caller's strings") {
  Korvane korvane;
  ScratchKey key;
  const auto result = enumerate(korvane, currentUserKey(), widen(key.path() + "\\missing").c_str(), 0);
  CHECK(result.code != ERROR_SUCCESS);
  CHECK(result.code != -1);  // the registry's own code, not a failure of the method
  CHECK(result.name.get() == nullptr);
  CHECK(result.value.get() == nullptr);
  CHECK(result.callersStringsFreed);
}

TEST_CASE("the optional type and value may be left out; the name may not") {
  Korvane korvane;
  ScratchKey key;
  key.setString("name", "text");
  const Bstr path(widen(key.path()));
  Bstr name, value;
  long type = typeBeforeTheCall;

  SUBCASE("without a type") {
    CHECK(korvane->RegEnumValue(currentUserKey(), path.get(), 0, name.put(), nullptr, value.put()) == ERROR_SUCCESS);
    checkText(name, L"name");
    checkText(value, L"text\0"s);
  }
  SUBCASE("without a value") {
    CHECK(korvane->RegEnumValue(currentUserKey(), path.get(), 0, name.put(), &type, nullptr) == ERROR_SUCCESS);
    checkText(name, L"name");
    CHECK(type == REG_SZ);
  }
  SUBCASE("without a name nothing is touched") {
    const BSTR callersValue = watchedString(L"the caller's value");
    BSTR valueVariable = callersValue;
    CHECK(korvane->RegEnumValue(currentUserKey(), path.get(), 0, nullptr, &type, &valueVariable) == -1);
    CHECK(type == typeBeforeTheCall);
    CHECK(valueVariable == callersValue);
    CHECK_FALSE(hasBeenFreed(callersValue));
    SysFreeString(callersValue);
  }
}

TEST_CASE("GetcomputerName stores the computer name as a string, whatever Name held before") {
  // An object that only counts the releases it is sent.
  struct ReleaseCounter final : IUnknown {
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override {
      ++releases;
      return 1;
    }
    int releases = 0;
  };
  ReleaseCounter object;
  BSTR callersString = watchedString(L"the caller's string");

  // Name is an out parameter: nothing found in it may be freed.
  struct Before {
    const char* what;
    VARTYPE type;
    void* content;
    bool garbage;
  };
  const Before cases[] = {
      {"nothing", VT_EMPTY, nullptr, false},
      {"bytes of no valid type", 0, nullptr, true},
      {"an object reference", VT_UNKNOWN, static_cast<IUnknown*>(&object), false},
      {"a string", VT_BSTR, callersString, false},
  };

  const std::wstring expected = systemComputerName();
  Korvane korvane;
  for (const auto& c : cases) {
    INFO(std::string(c.what));
    VARIANT name;
    if (c.garbage) {
      std::memset(&name, 0xCC, sizeof name);
    } else {
      VariantInit(&name);
      V_VT(&name) = c.type;
      V_BYREF(&name) = c.content;
    }
    korvane->GetcomputerName(&name);
    REQUIRE(V_VT(&name) == VT_BSTR);
    CHECK(narrow(std::wstring(Bstr::view(V_BSTR(&name)))) == narrow(expected));
    VariantClear(&name);
  }
  CHECK(object.releases == 0);
  CHECK_FALSE(hasBeenFreed(callersString));
  SysFreeString(callersString);

  korvane->GetcomputerName(nullptr);  // nothing to store into, and no fault
}

TEST_CASE("a client that has released its object lets the DLL unload") {
  ServerModule server;
  ScratchKey key;
  key.setString("name", "text");
  {
    ComPtr<ICKorvane> korvane;
    REQUIRE(server.create(CLSID_CKorvane, IID_ICKorvane, korvane.putVoid()) == S_OK);
    Bstr name, value;
    long type = 0;
    CHECK(korvane->RegEnumValue(currentUserKey(), Bstr(widen(key.path())).get(), 0, name.put(), &type, value.put()) ==
          ERROR_SUCCESS);
    VARIANT computer;
    korvane->GetcomputerName(&computer);
    VariantClear(&computer);
    CHECK(server.canUnloadNow() == S_FALSE);
  }
  CHECK(server.canUnloadNow() == S_OK);
}
