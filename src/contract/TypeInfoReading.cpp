#include "TypeInfoReading.h"

#include <oleauto.h>

#include <array>
#include <cstdio>
#include <utility>

#include "support/Bstr.h"
#include "support/Failure.h"

namespace korvane::contract {
namespace {

const wchar_t* baseTypeName(VARTYPE vt) {
  switch (vt) {
    case VT_I1: return L"char";
    case VT_I2: return L"short";
    case VT_I4: return L"long";
    case VT_I8: return L"__int64";
    case VT_UI1: return L"unsigned char";
    case VT_UI2: return L"unsigned short";
    case VT_UI4: return L"unsigned long";
    case VT_UI8: return L"unsigned __int64";
    case VT_INT: return L"int";
    case VT_UINT: return L"unsigned int";
    case VT_R4: return L"float";
    case VT_R8: return L"double";
    case VT_CY: return L"CURRENCY";
    case VT_DATE: return L"DATE";
    case VT_BSTR: return L"BSTR";
    case VT_DISPATCH: return L"IDispatch*";
    case VT_UNKNOWN: return L"IUnknown*";
    case VT_ERROR: return L"SCODE";
    case VT_BOOL: return L"VARIANT_BOOL";
    case VT_VARIANT: return L"VARIANT";
    case VT_VOID: return L"void";
    case VT_HRESULT: return L"HRESULT";
    case VT_LPSTR: return L"LPSTR";
    case VT_LPWSTR: return L"LPWSTR";
    default: return nullptr;
  }
}

std::wstring hex(unsigned value) {
  wchar_t text[12];
  std::swprintf(text, 12, L"0x%X", value);
  return text;
}

}  // namespace

ScopedTypeAttr::ScopedTypeAttr(ComPtr<ITypeInfo> info) : info_(std::move(info)) {
  throwIfFailed(info_->GetTypeAttr(&attr_), L"ITypeInfo::GetTypeAttr");
}

ScopedFuncDesc::ScopedFuncDesc(ComPtr<ITypeInfo> info, UINT index) : info_(std::move(info)) {
  throwIfFailed(info_->GetFuncDesc(index, &desc_), L"ITypeInfo::GetFuncDesc");
}

ComPtr<ITypeInfo> vtableView(ITypeInfo& dispatchView) {
  HREFTYPE reference = 0;
  throwIfFailed(dispatchView.GetRefTypeOfImplType(UINT(-1), &reference), L"ITypeInfo::GetRefTypeOfImplType(-1)");
  ComPtr<ITypeInfo> view;
  throwIfFailed(dispatchView.GetRefTypeInfo(reference, view.put()), L"ITypeInfo::GetRefTypeInfo");
  return view;
}

ComPtr<ITypeInfo> implementedType(ITypeInfo& info, UINT index) {
  HREFTYPE reference = 0;
  throwIfFailed(info.GetRefTypeOfImplType(index, &reference), L"ITypeInfo::GetRefTypeOfImplType");
  ComPtr<ITypeInfo> type;
  throwIfFailed(info.GetRefTypeInfo(reference, type.put()), L"ITypeInfo::GetRefTypeInfo");
  return type;
}

std::wstring typeName(ITypeInfo& info) {
  Bstr name;
  throwIfFailed(info.GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr),
                L"ITypeInfo::GetDocumentation");
  return std::wstring(name.view());
}

std::wstring guidText(const GUID& guid) {
  wchar_t text[40];
  if (!StringFromGUID2(guid, text, 40)) throw Failure(L"StringFromGUID2 failed");
  return text;
}

std::wstring typeText(ITypeInfo& context, const TYPEDESC& type) {
  switch (type.vt) {
    case VT_PTR: return typeText(context, *type.lptdesc) + L"*";
    case VT_SAFEARRAY: return L"SAFEARRAY(" + typeText(context, *type.lptdesc) + L")";
    case VT_USERDEFINED: {
      ComPtr<ITypeInfo> referenced;
      throwIfFailed(context.GetRefTypeInfo(type.hreftype, referenced.put()), L"ITypeInfo::GetRefTypeInfo");
      return typeName(*referenced.get());
    }
    default:
      if (const wchar_t* name = baseTypeName(type.vt)) return name;
      return L"VT_" + std::to_wstring(type.vt);
  }
}

std::wstring paramFlagsText(USHORT flags) {
  static constexpr std::array<std::pair<USHORT, const wchar_t*>, 7> names{{
      {PARAMFLAG_FIN, L"in"},
      {PARAMFLAG_FOUT, L"out"},
      {PARAMFLAG_FLCID, L"lcid"},
      {PARAMFLAG_FRETVAL, L"retval"},
      {PARAMFLAG_FOPT, L"optional"},
      {PARAMFLAG_FHASDEFAULT, L"hasdefault"},
      {PARAMFLAG_FHASCUSTDATA, L"hascustdata"},
  }};
  std::wstring text;
  auto append = [&text](const std::wstring& name) { text += (text.empty() ? L"" : L", ") + name; };
  USHORT unknown = flags;
  for (const auto& [flag, name] : names) {
    if (flags & flag) append(name);
    unknown &= USHORT(~flag);
  }
  if (unknown) append(hex(unknown));
  return text;
}

}  // namespace korvane::contract
