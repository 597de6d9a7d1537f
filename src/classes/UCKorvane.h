// CKorvane: the values of a registry key, one index at a time, and the name
// of the local computer.
#pragma once
#include "Korvane_TLB.h"
#include "server/ObjectCore.h"

namespace korvane {

class TCKorvane final : public TypedObject<ICKorvane> {
 public:
  TCKorvane(ClassObject& classObject, IUnknown* outer) : TypedObject(classObject, outer) {}

  // The name, type and data of the value at Index under mhkey\SubKeyName
  // (mhkey itself for an empty SubKeyName), the data as one character per
  // byte. Returns the registry's code (0; 259 past the last value; 234 for a
  // name over 254 characters or data over 255 bytes; others for a key that
  // cannot be read) or -1 for a null ValueName or a failure inside. The
  // caller's strings are freed and, on success, replaced. ValueType and Value
  // are optional.
  long STDMETHODCALLTYPE RegEnumValue(long mhkey, BSTR SubKeyName, long Index, BSTR* ValueName, long* ValueType,
                                      BSTR* Value) override;
  // Stores the computer name in Name as a VT_BSTR, without freeing what Name held.
  void STDMETHODCALLTYPE GetcomputerName(VARIANT* Name) override;
};

}  // namespace korvane
