#include "ScratchKey.h"

#include <atomic>
#include <cstring>
#include <stdexcept>

namespace korvane::test {

namespace {

constexpr const char* scratchRoot = "Software\\KorvaneTests";

void check(LSTATUS status, const char* what) {
  if (status != ERROR_SUCCESS) throw std::runtime_error(std::string(what) + " failed with " + std::to_string(status));
}

// One key per process and object, so that Win32 and Win64 runs and several
// keys in one test never meet.
std::string uniquePath() {
  static std::atomic<int> counter;
  return std::string(scratchRoot) + "\\" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

}  // namespace

ScratchKey::ScratchKey() : path_(uniquePath()) {
  check(RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.put(), nullptr),
        "RegCreateKeyExA");
}

ScratchKey::~ScratchKey() {
  key_ = RegKey();
  RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
  // Removed only once no other test's key is left in it.
  RegDeleteKeyA(HKEY_CURRENT_USER, scratchRoot);
}

void ScratchKey::set(const char* name, DWORD type, std::span<const BYTE> data, const char* subKey) const {
  check(RegSetKeyValueA(key_.get(), subKey, name, type, data.data(), static_cast<DWORD>(data.size())),
        "RegSetKeyValueA");
}

void ScratchKey::setString(const char* name, const char* text, const char* subKey) const {
  set(name, REG_SZ, std::span(reinterpret_cast<const BYTE*>(text), std::strlen(text) + 1), subKey);
}

void ScratchKey::setNumber(const char* name, DWORD number) const {
  set(name, REG_DWORD, std::span(reinterpret_cast<const BYTE*>(&number), sizeof number));
}

long currentUserKey() {
  return keyAsLong(HKEY_CURRENT_USER);
}

long keyAsLong(HKEY key) {
  const auto value = reinterpret_cast<LONG_PTR>(key);
  const auto asLong = static_cast<long>(value);
  if (asLong != value) throw std::runtime_error("the key handle does not fit in a long");
  return asLong;
}

}  // namespace korvane::test
