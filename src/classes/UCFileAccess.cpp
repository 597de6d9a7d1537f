#include "classes/UCFileAccess.h"

namespace korvane {

// Not built yet.
HRESULT TCFileAccess::Reset(VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT TCFileAccess::Rewrite(VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT TCFileAccess::Close(VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT TCFileAccess::get_State(long*) { return E_NOTIMPL; }
HRESULT TCFileAccess::get_FileName(BSTR*) { return E_NOTIMPL; }
HRESULT TCFileAccess::put_FileName(BSTR) { return E_NOTIMPL; }
HRESULT TCFileAccess::BlockRead(void*, long, long*) { return E_NOTIMPL; }
HRESULT TCFileAccess::BlockWrite(void*, long, long*) { return E_NOTIMPL; }

}  // namespace korvane
