// Helpers of the file tests: a scratch folder per test, plain access to the
// files in it through the wide file functions (independent of the code under
// test), and the outcome of an operation as one comparable line of text.
#pragma once
#include <windows.h>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "file/IoFailure.h"
#include "support/AnsiText.h"

namespace korvane::test {

// A fresh folder under the user's temporary folder, removed with everything
// in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();

  const std::wstring& path() const { return path_; }
  // The full name of an entry of the folder.
  std::wstring operator/(std::wstring_view name) const;
  // The names of the entries of the folder, in no particular order.
  std::vector<std::wstring> entries() const;

 private:
  std::wstring path_;
};

// Makes a handle of the test's choice one of the process's standard handles
// for the life of the object, and puts the previous one back afterwards.
class StandardHandleOverride {
 public:
  StandardHandleOverride(DWORD which, HANDLE handle) : which_(which), saved_(GetStdHandle(which)) {
    SetStdHandle(which, handle);
  }
  StandardHandleOverride(const StandardHandleOverride&) = delete;
  StandardHandleOverride& operator=(const StandardHandleOverride&) = delete;
  ~StandardHandleOverride() { SetStdHandle(which_, saved_); }

 private:
  DWORD which_;
  HANDLE saved_;
};

void writeFileContent(const std::wstring& path, std::string_view bytes);
std::string fileContent(const std::wstring& path);
bool fileExists(const std::wstring& path);

// What an operation came to: "ok" when it returns nothing, its result when
// it returns a number, and "<I/O code>: <message>" when it fails with an
// IoFailure.
template <class Operation>
std::string outcomeOf(Operation&& operation) {
  using Result = std::invoke_result_t<Operation&>;
  try {
    if constexpr (std::is_void_v<Result>) {
      operation();
      return "ok";
    } else {
      return std::to_string(operation());
    }
  } catch (const IoFailure& failure) {
    return std::to_string(failure.ioCode()) + ": " + toAnsi(failure.message());
  }
}

}  // namespace korvane::test
