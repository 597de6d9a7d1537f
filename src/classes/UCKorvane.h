// CKorvane: the values of a registry key, one index at a time, and the name
// of the local computer.
#pragma once
#include "Korvane_TLB.h"
#include "server/ObjectCore.h"

namespace korvane {

class TCKorvane final : public TypedObject<ICKorvane> {
 public:
  TCKorvane(ClassObject& classObject, IUnknown* outer) : TypedObject(classObject, outer) {}

  long STDMETHODCALLTYPE RegEnumValue(long mhkey, BSTR SubKeyName, long Index, BSTR* ValueName, long* ValueType,
                                      BSTR* Value) override;
  void STDMETHODCALLTYPE GetcomputerName(VARIANT* Name) override;
};

}  // namespace korvane
