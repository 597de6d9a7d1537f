// CInOutFileDB: streams a local file into a binary field of one database row
// and back, with progress events the client can cancel.
#pragma once
#include "Korvane_TLB.h"
#include "server/ObjectCore.h"

namespace korvane {

class TCInOutFileDB final : public AutomationObject<ICInOutFileDB> {
 public:
  TCInOutFileDB(ClassObject& classObject, IUnknown* outer) : AutomationObject(classObject, outer) {}

  VARIANT_BOOL STDMETHODCALLTYPE WriteFileToDatabase(BSTR ConStr, BSTR FileName, long BufferSize, BSTR Table,
                                                     BSTR ImageField, BSTR IDField, VARIANT ID) override;
  VARIANT_BOOL STDMETHODCALLTYPE ReadFileFromDatabase(BSTR ConStr, BSTR FileName, long BufferSize, BSTR Table,
                                                      BSTR ImageField, BSTR IDField, VARIANT ID) override;

 private:
  class PercentCompleteEvents;
};

}  // namespace korvane
