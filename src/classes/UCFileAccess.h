// CFileAccess: a binary file object for automation clients. One BinaryFile
// does the file work; the object adds an open/closed state with messages of
// its own, the file name as the client wrote it, and failures reported as
// automation errors.
#pragma once
#include "Korvane_TLB.h"
#include "file/BinaryFile.h"
#include "server/ObjectCore.h"
#include "support/Bstr.h"

namespace korvane {

class TCFileAccess final : public AutomationObject<ICFileAccess> {
 public:
  TCFileAccess(ClassObject& classObject, IUnknown* outer) : AutomationObject(classObject, outer) {}
  // Releasing the object closes an open file through file_'s destructor,
  // which has no failure to report: a handle the system refuses to close is
  // let go. So the last Release never raises, whatever the system says.
  ~TCFileAccess() override = default;

  HRESULT STDMETHODCALLTYPE Reset(VARIANT_BOOL* RetValue) override;
  HRESULT STDMETHODCALLTYPE Rewrite(VARIANT_BOOL* RetValue) override;
  HRESULT STDMETHODCALLTYPE Close(VARIANT_BOOL* RetValue) override;
  HRESULT STDMETHODCALLTYPE get_State(long* Value) override;
  HRESULT STDMETHODCALLTYPE get_FileName(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_FileName(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE BlockRead(void* Buffer, long BufferSize, long* NumRead) override;
  HRESULT STDMETHODCALLTYPE BlockWrite(void* Buffer, long BufferSize, long* NumWritten) override;

 private:
  // The values of State. Only Reset and Rewrite make it Open and only a
  // successful Close makes it Closed again: after a Close that the system
  // refused, the object stays Open over a file that is closed.
  enum : long { Closed = 0, Open = 1 };

  // Fails with the message unless the object is in the needed state.
  void require(long needed, const wchar_t* otherwise) const;
  HRESULT open(void (BinaryFile::*how)(), VARIANT_BOOL* RetValue);

  Bstr fileName_;  // exactly what the client last assigned; null when empty
  BinaryFile file_;
  long state_ = Closed;
};

}  // namespace korvane
