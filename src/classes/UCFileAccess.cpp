#include "classes/UCFileAccess.h"

// Each member tests the state first, makes at most one call of the file,
// then changes the state, and writes its out parameter last: a failure at
// any step leaves the rest undone and the out parameter untouched.

namespace korvane {

void TCFileAccess::require(long needed, const wchar_t* otherwise) const {
  if (state_ != needed) throw Failure(otherwise);
}

HRESULT TCFileAccess::open(void (BinaryFile::*how)(), VARIANT_BOOL* RetValue) {
  return reportingHResult([&] {
    require(Closed, L"File already open");
    (file_.*how)();
    state_ = Open;
    *RetValue = VARIANT_TRUE;
  });
}

HRESULT TCFileAccess::Reset(VARIANT_BOOL* RetValue) {
  return open(&BinaryFile::OpenExisting, RetValue);
}

HRESULT TCFileAccess::Rewrite(VARIANT_BOOL* RetValue) {
  return open(&BinaryFile::CreateOrTruncate, RetValue);
}

HRESULT TCFileAccess::Close(VARIANT_BOOL* RetValue) {
  return reportingHResult([&] {
    require(Open, L"File not open");
    file_.Close();
    state_ = Closed;
    *RetValue = VARIANT_TRUE;
  });
}

HRESULT TCFileAccess::get_State(long* Value) {
  return reportingHResult([&] { *Value = state_; });
}

HRESULT TCFileAccess::get_FileName(BSTR* Value) {
  *Value = nullptr;
  return reportingHResult([&] { *Value = Bstr(fileName_.view()).detach(); });
}

HRESULT TCFileAccess::put_FileName(BSTR Value) {
  return reportingHResult([&] {
    require(Closed, L"File open");
    Bstr name(Bstr::view(Value));
    file_.Bind(name.view());
    fileName_ = std::move(name);
  });
}

// Buffer is the caller's memory: the block goes between it and the system
// without a copy. A negative BufferSize is refused by the file ("I/O error
// 87") before it could reach the system as a count of more than 2 GiB.
HRESULT TCFileAccess::BlockRead(void* Buffer, long BufferSize, long* NumRead) {
  return reportingHResult([&] {
    require(Open, L"File not open");
    *NumRead = file_.ReadBlock(Buffer, BufferSize);
  });
}

HRESULT TCFileAccess::BlockWrite(void* Buffer, long BufferSize, long* NumWritten) {
  return reportingHResult([&] {
    require(Open, L"File not open");
    *NumWritten = file_.WriteBlock(Buffer, BufferSize);
  });
}

}  // namespace korvane
