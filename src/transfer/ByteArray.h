// Chunks as automation carries them: a VARIANT holding a one-dimensional
// array of bytes (VT_ARRAY | VT_UI1) with lower bound 0.
#pragma once
#include "support/Variant.h"

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <span>

namespace korvane {

// A new byte array of `size` bytes (contents undefined).
Variant makeByteArray(long size);
// Changes the number of bytes of a byte array made by makeByteArray.
void resizeByteArray(Variant& array, long size);

// Whether `v` is a one-dimensional array of bytes.
bool isByteArray(const VARIANT& v);

// Access to the bytes of a byte array for as long as the object lives.
class ByteArrayData {
 public:
  // `array` must satisfy isByteArray.
  explicit ByteArrayData(const VARIANT& array);
  ByteArrayData(const ByteArrayData&) = delete;
  ByteArrayData& operator=(const ByteArrayData&) = delete;
  ~ByteArrayData();

  std::span<std::byte> bytes() const { return bytes_; }

 private:
  SAFEARRAY* array_;
  std::span<std::byte> bytes_;
};

}  // namespace korvane
