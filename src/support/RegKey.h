// Owner of an open registry key.
#pragma once
#include <windows.h>
#include <utility>

namespace korvane {

class RegKey {
 public:
  RegKey() = default;
  explicit RegKey(HKEY key) : key_(key) {}
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  RegKey(RegKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  RegKey& operator=(RegKey&& other) noexcept { std::swap(key_, other.key_); return *this; }
  ~RegKey() { if (key_) RegCloseKey(key_); }

  HKEY get() const { return key_; }
  HKEY* put() { if (key_) RegCloseKey(std::exchange(key_, nullptr)); return &key_; }
  HKEY release() { return std::exchange(key_, nullptr); }

 private:
  HKEY key_ = nullptr;
};

}  // namespace korvane
