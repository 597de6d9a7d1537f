#include "server/Registration.h"

#include <cwchar>
#include <string>

#include "server/ServerState.h"
#include "support/Failure.h"
#include "support/RegKey.h"

namespace korvane {

namespace {

std::wstring registryForm(const GUID& guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring directoryOf(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

// The path COM loads the server from. A path with a space is written in its
// short form, which needs no quoting; if the system has none to give, the
// long form is written as it is.
std::wstring inprocServerPath(const std::wstring& modulePath) {
  if (modulePath.find(L' ') == std::wstring::npos) return modulePath;
  std::wstring shortPath(MAX_PATH, L'\0');
  const DWORD length = GetShortPathNameW(modulePath.c_str(), shortPath.data(), MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return modulePath;
  shortPath.resize(length);
  return shortPath;
}

// Creates or opens HKEY_CLASSES_ROOT\key and sets one string value (null
// name: the key's default value).
void writeEntry(const std::wstring& key, const wchar_t* name, const std::wstring& data) {
  RegKey opened;
  LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_READ | KEY_WRITE, nullptr, opened.put(), nullptr);
  if (status == ERROR_SUCCESS) {
    const auto size = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));  // with the terminating zero
    status = RegSetValueExW(opened.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), size);
  }
  if (status != ERROR_SUCCESS) throw Failure(L"Cannot write the registry key " + key);
}

void registerClass(const ClassObject& classObject, const std::wstring& modulePath, const std::wstring& version,
                   const std::wstring& libraryId) {
  const std::wstring clsidKey = L"CLSID\\" + registryForm(classObject.clsid());
  const std::wstring& progId = classObject.progId();
  writeEntry(clsidKey, nullptr, classObject.description());
  writeEntry(clsidKey + L"\\InprocServer32", nullptr, inprocServerPath(modulePath));
  writeEntry(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  writeEntry(progId, nullptr, classObject.description());
  writeEntry(progId + L"\\Clsid", nullptr, registryForm(classObject.clsid()));
  writeEntry(clsidKey + L"\\ProgID", nullptr, progId);
  writeEntry(clsidKey + L"\\Version", nullptr, version);
  writeEntry(clsidKey + L"\\TypeLib", nullptr, libraryId);
}

void unregisterClass(const ClassObject& classObject) {
  const std::wstring clsidKey = L"CLSID\\" + registryForm(classObject.clsid());
  const std::wstring& progId = classObject.progId();
  // Children before their parents. A key that is missing or cannot be
  // deleted is no failure: unregistering removes what is there.
  for (const std::wstring& key : {clsidKey + L"\\TypeLib", clsidKey + L"\\Version", clsidKey + L"\\ProgID",
                                  progId + L"\\Clsid", progId, clsidKey + L"\\InprocServer32", clsidKey}) {
    RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
  }
}

// The library's attributes, released when the reader goes.
class LibraryAttributes {
 public:
  explicit LibraryAttributes(ITypeLib& typeLib) : typeLib_(typeLib) {
    throwIfFailed(typeLib.GetLibAttr(&attributes_), L"Reading the type library's attributes");
  }
  ~LibraryAttributes() { typeLib_.ReleaseTLibAttr(attributes_); }
  LibraryAttributes(const LibraryAttributes&) = delete;
  LibraryAttributes& operator=(const LibraryAttributes&) = delete;
  const TLIBATTR& value() const { return *attributes_; }

 private:
  ITypeLib& typeLib_;
  TLIBATTR* attributes_ = nullptr;
};

std::wstring versionText(const TLIBATTR& attributes) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%d.%d", attributes.wMajorVerNum, attributes.wMinorVerNum);
  return text;
}

}  // namespace

void registerServer(ServerState& server) {
  const std::wstring& modulePath = server.modulePath();
  std::wstring helpDirectory = directoryOf(modulePath);
  std::wstring path = modulePath;
  throwIfFailed(RegisterTypeLib(&server.typeLib(), path.data(), helpDirectory.data()),
                L"Registering the type library");

  const LibraryAttributes library(server.typeLib());
  const std::wstring version = versionText(library.value());
  const std::wstring libraryId = registryForm(library.value().guid);
  server.forEachClass([&](const ClassObject& classObject) {
    registerClass(classObject, modulePath, version, libraryId);
  });
}

void unregisterServer(ServerState& server) {
  {
    const LibraryAttributes library(server.typeLib());
    const TLIBATTR& attributes = library.value();
    // The type library may not be registered at all; either way it is not now.
    UnRegisterTypeLib(attributes.guid, attributes.wMajorVerNum, attributes.wMinorVerNum, attributes.lcid,
                      attributes.syskind);
  }
  server.forEachClass([](const ClassObject& classObject) { unregisterClass(classObject); });
}

}  // namespace korvane
