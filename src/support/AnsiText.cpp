#include "support/AnsiText.h"

#include <windows.h>
#include <climits>
#include <new>

namespace korvane {

std::string toAnsi(std::wstring_view text) {
  if (text.empty()) return {};
  if (text.size() > INT_MAX) throw std::bad_alloc();
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string result(size, '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, result.data(), size, nullptr, nullptr);
  return result;
}

std::wstring fromAnsi(std::string_view text) {
  if (text.empty()) return {};
  if (text.size() > INT_MAX) throw std::bad_alloc();
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  std::wstring result(size, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, result.data(), size);
  return result;
}

}  // namespace korvane
