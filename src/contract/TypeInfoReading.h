// Reading a loaded type library: owners of the descriptions ITypeInfo hands
// out, the views of a dual interface, and text forms of stored types as IDL
// spells them. Shared by tlbinfo and the type library test. Failures are
// korvane::Failure naming the call.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>

#include "support/ComPtr.h"

namespace korvane::contract {

// A TYPEATTR, released with the type info it came from.
class ScopedTypeAttr {
 public:
  explicit ScopedTypeAttr(ComPtr<ITypeInfo> info);
  ScopedTypeAttr(const ScopedTypeAttr&) = delete;
  ScopedTypeAttr& operator=(const ScopedTypeAttr&) = delete;
  ~ScopedTypeAttr() { info_->ReleaseTypeAttr(attr_); }
  const TYPEATTR* operator->() const { return attr_; }
  const TYPEATTR& operator*() const { return *attr_; }

 private:
  ComPtr<ITypeInfo> info_;
  TYPEATTR* attr_ = nullptr;
};

// The FUNCDESC of one function by index.
class ScopedFuncDesc {
 public:
  ScopedFuncDesc(ComPtr<ITypeInfo> info, UINT index);
  ScopedFuncDesc(const ScopedFuncDesc&) = delete;
  ScopedFuncDesc& operator=(const ScopedFuncDesc&) = delete;
  ~ScopedFuncDesc() { info_->ReleaseFuncDesc(desc_); }
  const FUNCDESC* operator->() const { return desc_; }
  const FUNCDESC& operator*() const { return *desc_; }

 private:
  ComPtr<ITypeInfo> info_;
  FUNCDESC* desc_ = nullptr;
};

// A dual interface reads as its dispatch view (TKIND_DISPATCH); this is the
// vtable view (TKIND_INTERFACE) behind it.
ComPtr<ITypeInfo> vtableView(ITypeInfo& dispatchView);

// The type that implementation entry `index` refers to: the base of an
// interface or dispinterface, an interface of a coclass.
ComPtr<ITypeInfo> implementedType(ITypeInfo& info, UINT index);

// The type's own name.
std::wstring typeName(ITypeInfo& info);

// The registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::wstring guidText(const GUID& guid);

// The type as IDL spells it: VT_PTR levels become '*', a user-defined type
// its name.
std::wstring typeText(ITypeInfo& context, const TYPEDESC& type);

// PARAMFLAG_* as IDL attribute names, comma separated ("in, out, optional").
std::wstring paramFlagsText(USHORT flags);

}  // namespace korvane::contract
