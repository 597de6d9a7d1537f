#include "transfer/ByteArray.h"

#include "support/Failure.h"

#include <new>

namespace korvane {

Variant makeByteArray(long size) {
  Variant result;
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size));
  if (!array) throw std::bad_alloc();
  V_VT(result.get()) = VT_ARRAY | VT_UI1;
  V_ARRAY(result.get()) = array;
  return result;
}

void resizeByteArray(Variant& array, long size) {
  SAFEARRAYBOUND bound{static_cast<ULONG>(size), 0};
  throwIfFailed(SafeArrayRedim(V_ARRAY(array.get()), &bound), L"Resizing a chunk");
}

bool isByteArray(const VARIANT& v) {
  return V_VT(&v) == (VT_ARRAY | VT_UI1) && V_ARRAY(&v) && SafeArrayGetDim(V_ARRAY(&v)) == 1;
}

ByteArrayData::ByteArrayData(const VARIANT& array) : array_(V_ARRAY(&array)) {
  LONG lower = 0, upper = -1;
  throwIfFailed(SafeArrayGetLBound(array_, 1, &lower), L"Reading a chunk's bounds");
  throwIfFailed(SafeArrayGetUBound(array_, 1, &upper), L"Reading a chunk's bounds");
  void* data = nullptr;
  throwIfFailed(SafeArrayAccessData(array_, &data), L"Reading a chunk");
  bytes_ = {static_cast<std::byte*>(data), static_cast<size_t>(upper - lower + 1)};
}

ByteArrayData::~ByteArrayData() { SafeArrayUnaccessData(array_); }

}  // namespace korvane
