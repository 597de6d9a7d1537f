// The one exception type of the library. Every failure inside Korvane is a
// Failure carrying a message (what the client finally reads in an error
// object) and, where the failure has one, a COM result code of its own.
// The interface boundaries (server/ErrorBoundary.h) turn it into results.
#pragma once
#include <windows.h>
#include <exception>
#include <string>

namespace korvane {

class Failure : public std::exception {
 public:
  explicit Failure(std::wstring message, HRESULT code = S_OK)
      : message_(std::move(message)), code_(code) {}

  const std::wstring& message() const noexcept { return message_; }
  // The failure's own COM result code, or S_OK when it carries none.
  HRESULT code() const noexcept { return code_; }
  const char* what() const noexcept override { return "korvane::Failure"; }

 private:
  std::wstring message_;
  HRESULT code_;
};

// Raises a Failure for a COM call that did not succeed, keeping its code.
void throwIfFailed(HRESULT hr, const wchar_t* what);

}  // namespace korvane
