// Owner of one BSTR. A null BSTR is the empty string, as automation defines it.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <string>
#include <string_view>
#include <utility>

namespace korvane {

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::wstring_view text);
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept { std::swap(s_, other.s_); return *this; }
  ~Bstr() { SysFreeString(s_); }

  static Bstr adopt(BSTR s) { Bstr b; b.s_ = s; return b; }

  BSTR get() const { return s_; }
  BSTR detach() { return std::exchange(s_, nullptr); }
  BSTR* put() { SysFreeString(std::exchange(s_, nullptr)); return &s_; }
  UINT length() const { return SysStringLen(s_); }
  std::wstring_view view() const { return view(s_); }

  // The text of a BSTR the library does not own (a null BSTR reads as empty).
  static std::wstring_view view(BSTR s) { return {s ? s : L"", SysStringLen(s)}; }

 private:
  BSTR s_ = nullptr;
};

}  // namespace korvane
