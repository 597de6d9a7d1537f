// The failure of a file operation: an I/O code and the message that belongs
// to it. The code is the system's error code after the failing call, or one
// of the file layer's own codes below.
#pragma once
#include "support/Failure.h"

#include <string>

namespace korvane {

namespace io {
inline constexpr int CloseRefused = 1;    // the system refused to close the handle
inline constexpr int NotBound = 102;      // an open before any name was bound
inline constexpr int NotOpen = 103;       // an operation that needs an open file
}  // namespace io

// The message of an I/O code; it depends on the code alone.
std::wstring ioErrorMessage(int code);

class IoFailure : public Failure {
 public:
  explicit IoFailure(int code) : Failure(ioErrorMessage(code)), code_(code) {}

  int ioCode() const noexcept { return code_; }

 private:
  int code_;
};

}  // namespace korvane
