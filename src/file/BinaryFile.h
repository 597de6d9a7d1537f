// The library's one way of touching files: a bound name, an open for reading
// and writing at once, and unbuffered block transfers straight between the
// file and the caller's memory. Every failure is an IoFailure.
//
// States: unbound (no name was ever bound), closed (a name is bound) and open.
// The empty name stands for the process's standard input (OpenExisting) or
// standard output (CreateOrTruncate); such a handle is borrowed, never closed.
// Binding or opening again while a file is open lets go of that file first.
#pragma once
#include "file/IoFailure.h"
#include "support/Handle.h"

#include <windows.h>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

class BinaryFile {
 public:
  BinaryFile() = default;
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;
  // A file opened by name is closed; a failure to close is not reported.
  ~BinaryFile() = default;

  // Binds a name in the system ANSI code page. Touches nothing on disk and
  // does not fail: a bad name shows at the next open.
  void Bind(std::wstring_view name);

  // Opens the bound file, which must exist, at position 0. A name longer
  // than the ANSI file functions take, or with a zero character inside,
  // fails here with 3 ("Invalid filename").
  void OpenExisting();
  // Creates the bound file, or empties it when it exists, and opens it.
  void CreateOrTruncate();

  // One system call on the caller's memory each; fewer bytes than asked is
  // no failure, and 0 at the end of the file. A negative count is refused.
  long ReadBlock(void* destination, long count);
  long WriteBlock(const void* source, long count);

  std::int64_t Size() const;
  std::int64_t Position() const;
  bool AtEnd() const;

  // Closed afterwards, whatever the system says; the name stays bound.
  void Close();

 private:
  enum class State { Unbound, Closed, Open };

  void open(DWORD disposition, DWORD standardHandle);
  void requireOpen() const;
  HANDLE openHandle() const;
  HANDLE transferHandle(long count) const;

  State state_ = State::Unbound;
  std::string name_;
  HANDLE handle_ = nullptr;  // the open file's handle, meaningful while open
  UniqueHandle owned_;       // the same handle when it was opened by name
};

}  // namespace korvane
