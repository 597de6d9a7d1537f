// A throwaway registry key under HKEY_CURRENT_USER for tests that read the
// registry: created empty, removed with everything under it at the end.
#pragma once
#include <windows.h>

#include <span>
#include <string>

#include "support/RegKey.h"

namespace korvane::test {

class ScratchKey {
 public:
  ScratchKey();
  ~ScratchKey();
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  // The path below HKEY_CURRENT_USER, in the ANSI code page.
  const std::string& path() const { return path_; }
  HKEY handle() const { return key_.get(); }

  // Stores a value in the key, or in the named sub-key, which is made when
  // missing. An empty value name is the key's unnamed default value.
  void set(const char* name, DWORD type, std::span<const BYTE> data, const char* subKey = nullptr) const;
  // REG_SZ, stored with its terminating zero.
  void setString(const char* name, const char* text, const char* subKey = nullptr) const;
  // REG_DWORD.
  void setNumber(const char* name, DWORD number) const;

 private:
  std::string path_;
  RegKey key_;
};

// HKEY_CURRENT_USER as the long that ICKorvane takes: the handle's low 32
// bits, which Win64 sign-extends back to the handle.
long currentUserKey();

// A key handle of this process as a long. Wine's handles fit in 32 bits.
long keyAsLong(HKEY key);

}  // namespace korvane::test
