#include "TestSupport.h"

namespace korvane::test {

std::wstring dllPath() {
  return windowsPath(KORVANE_DLL_PATH);
}

std::wstring windowsPath(const std::string& unixPath) {
  std::wstring path = L"Z:" + widen(unixPath);
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

std::string narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(size, '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), text.data(), size, nullptr, nullptr);
  return text;
}

std::wstring widen(const std::string& text) {
  if (text.empty()) return {};
  int size = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring wide(size, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide.data(), size);
  return wide;
}

}  // namespace korvane::test
