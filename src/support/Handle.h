// Owner of a kernel handle closed with CloseHandle.
#pragma once
#include <windows.h>
#include <utility>

namespace korvane {

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept { std::swap(h_, other.h_); return *this; }
  ~UniqueHandle() { if (valid()) CloseHandle(h_); }

  HANDLE get() const { return h_; }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  HANDLE release() { return std::exchange(h_, nullptr); }

 private:
  HANDLE h_ = nullptr;
};

}  // namespace korvane
