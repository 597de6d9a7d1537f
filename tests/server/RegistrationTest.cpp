// DllRegisterServer and DllUnregisterServer, read back from the registry of
// the test's own bitness (a 32-bit process sees the Wow6432Node view).
// The test leaves the built DLL registered, as the other tests expect.
#include <windows.h>
#include <doctest/doctest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "Korvane_TLB.h"
#include "ServerModule.h"
#include "TestSupport.h"

using korvane::test::ServerModule;

namespace {

struct ClassCase {
  const CLSID& clsid;
  const wchar_t* progId;
  const wchar_t* description;
};

const ClassCase classes[] = {
    {CLSID_CKorvane, L"Korvane.CKorvane", L"CKorvane Object"},
    {CLSID_CInOutFileDB, L"Korvane.CInOutFileDB", L"CInOutFileDB Object"},
    {CLSID_CFileAccess, L"Korvane.CFileAccess", L"CFileAccess Object"},
};

std::wstring registryForm(const GUID& guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

// A string value under HKEY_CLASSES_ROOT, or nothing when the key or the
// value is missing. The stored size must count the terminating zero.
std::optional<std::wstring> classesValue(const std::wstring& key, const wchar_t* name = nullptr) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return std::nullopt;
  wchar_t data[1024];
  DWORD type = 0, size = sizeof data;
  const LSTATUS status = RegQueryValueExW(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(opened);
  if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  const size_t length = size / sizeof(wchar_t);
  REQUIRE(length >= 1);
  CHECK(data[length - 1] == L'\0');
  return std::wstring(data, length - 1);
}

bool keyExists(const std::wstring& key, HKEY root = HKEY_CLASSES_ROOT, REGSAM view = 0) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

// Where a class's key lies in the 64-bit registry: a 32-bit server's
// entries are kept apart under Wow6432Node.
std::wstring nativeViewKey(const CLSID& clsid) {
  const wchar_t* classes = sizeof(void*) == 8 ? L"Software\\Classes\\CLSID\\" : L"Software\\Classes\\Wow6432Node\\CLSID\\";
  return classes + registryForm(clsid);
}

const wchar_t* platformKey() {
  return sizeof(void*) == 8 ? L"win64" : L"win32";
}

std::wstring typeLibPathKey() {
  return L"TypeLib\\" + registryForm(LIBID_Korvane) + L"\\1.0\\0\\" + platformKey();
}

void checkRegistered(const std::wstring& inprocPath, const std::wstring& typeLibPath) {
  for (const auto& c : classes) {
    CAPTURE(korvane::test::narrow(c.progId));
    const std::wstring clsidKey = L"CLSID\\" + registryForm(c.clsid);
    CHECK(classesValue(clsidKey) == c.description);
    CHECK(classesValue(clsidKey + L"\\InprocServer32") == inprocPath);
    CHECK(classesValue(clsidKey + L"\\InprocServer32", L"ThreadingModel") == L"Apartment");
    CHECK(classesValue(c.progId) == c.description);
    CHECK(classesValue(std::wstring(c.progId) + L"\\Clsid") == registryForm(c.clsid));
    CHECK(classesValue(clsidKey + L"\\ProgID") == c.progId);
    CHECK(classesValue(clsidKey + L"\\Version") == L"1.0");
    CHECK(classesValue(clsidKey + L"\\TypeLib") == registryForm(LIBID_Korvane));
  }
  CHECK(classesValue(typeLibPathKey()) == typeLibPath);
}

void checkUnregistered() {
  for (const auto& c : classes) {
    CAPTURE(korvane::test::narrow(c.progId));
    CHECK_FALSE(keyExists(L"CLSID\\" + registryForm(c.clsid)));
    CHECK_FALSE(keyExists(c.progId));
  }
  CHECK_FALSE(keyExists(typeLibPathKey()));
}

std::wstring shortPath(const std::wstring& path) {
  wchar_t text[MAX_PATH];
  const DWORD length = GetShortPathNameW(path.c_str(), text, MAX_PATH);
  REQUIRE(length > 0);
  return std::wstring(text, length);
}

}  // namespace

TEST_CASE("registration writes the entries of every class and unregistration removes them") {
  ServerModule server;
  const std::wstring path = korvane::test::dllPath();

  CHECK(server.unregisterServer() == S_OK);
  checkUnregistered();
  CHECK(server.unregisterServer() == S_OK);  // nothing registered: still fine

  CHECK(server.registerServer() == S_OK);
  checkRegistered(path, path);
  CHECK(keyExists(nativeViewKey(CLSID_CFileAccess), HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY));
  CHECK(server.registerServer() == S_OK);  // again: the same entries
  checkRegistered(path, path);

  CHECK(server.unregisterServer() == S_OK);
  checkUnregistered();

  CHECK(server.registerServer() == S_OK);
}

TEST_CASE("a module path with a space is registered in its short form") {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / L"Korvane registration test";
  fs::create_directories(folder);
  const fs::path copy = folder / L"Korvane.dll";
  fs::copy_file(korvane::test::dllPath(), copy, fs::copy_options::overwrite_existing);

  {
    HMODULE module = LoadLibraryW(copy.c_str());
    REQUIRE(module != nullptr);
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto registerServer = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    auto unregisterServer =
        reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
    REQUIRE(registerServer() == S_OK);
    // COM loads the short form; the type library keeps the long one.
    checkRegistered(shortPath(copy.wstring()), copy.wstring());
    CHECK(unregisterServer() == S_OK);
    FreeLibrary(module);
  }
  fs::remove_all(folder);

  ServerModule server;
  CHECK(server.registerServer() == S_OK);
}
