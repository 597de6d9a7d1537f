// CFileAccess: a binary file object for automation clients.
#pragma once
#include "Korvane_TLB.h"
#include "server/ObjectCore.h"

namespace korvane {

class TCFileAccess final : public AutomationObject<ICFileAccess> {
 public:
  TCFileAccess(ClassObject& classObject, IUnknown* outer) : AutomationObject(classObject, outer) {}

  HRESULT STDMETHODCALLTYPE Reset(VARIANT_BOOL* RetValue) override;
  HRESULT STDMETHODCALLTYPE Rewrite(VARIANT_BOOL* RetValue) override;
  HRESULT STDMETHODCALLTYPE Close(VARIANT_BOOL* RetValue) override;
  HRESULT STDMETHODCALLTYPE get_State(long* Value) override;
  HRESULT STDMETHODCALLTYPE get_FileName(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_FileName(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE BlockRead(void* Buffer, long BufferSize, long* NumRead) override;
  HRESULT STDMETHODCALLTYPE BlockWrite(void* Buffer, long BufferSize, long* NumWritten) override;
};

}  // namespace korvane
