#include "FileTestSupport.h"

#include <stdexcept>

#include "support/Handle.h"

namespace korvane::test {

namespace {

[[noreturn]] void fail(const char* what) {
  throw std::runtime_error(std::string(what) + " failed with system error " +
                           std::to_string(GetLastError()));
}

void removeTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(path);
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

TempFolder::TempFolder() {
  static unsigned made = 0;
  wchar_t temp[MAX_PATH + 1];
  if (!GetTempPathW(MAX_PATH + 1, temp)) fail("GetTempPathW");
  path_ = std::wstring(temp) + L"korvane-file-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(++made);
  if (!CreateDirectoryW(path_.c_str(), nullptr)) fail("CreateDirectoryW");
}

TempFolder::~TempFolder() { removeTree(path_); }

std::wstring TempFolder::operator/(std::wstring_view name) const {
  return path_ + L"\\" + std::wstring(name);
}

std::vector<std::wstring> TempFolder::entries() const {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) fail("FindFirstFileW");
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  return names;
}

void writeFileContent(const std::wstring& path, std::string_view bytes) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) fail("CreateFileW");
  DWORD written = 0;
  if (!WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) ||
      written != bytes.size()) {
    fail("WriteFile");
  }
}

std::string fileContent(const std::wstring& path) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) fail("CreateFileW");
  std::string content;
  char block[4096];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), block, sizeof block, &read, nullptr)) fail("ReadFile");
    if (read == 0) return content;
    content.append(block, read);
  }
}

bool fileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace korvane::test
