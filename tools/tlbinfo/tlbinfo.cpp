// tlbinfo <module>: prints what a built Korvane.dll (or any module or .tlb)
// carries for its clients: the version resource and the embedded type
// library with every type, member and parameter.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TypeInfoReading.h"
#include "support/Bstr.h"
#include "support/ComPtr.h"
#include "support/Failure.h"

namespace korvane::tlbinfo {
namespace {

using contract::guidText;
using contract::implementedType;
using contract::paramFlagsText;
using contract::ScopedFuncDesc;
using contract::ScopedTypeAttr;
using contract::typeName;
using contract::typeText;
using contract::vtableView;

std::wstring quoted(const Bstr& text) { return text.get() ? L"\"" + std::wstring(text.view()) + L"\"" : L"none"; }

// --- version resource -----------------------------------------------------

void printVersionResource(const wchar_t* path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) {
    std::wprintf(L"Version resource: none (error %lu)\n", GetLastError());
    return;
  }
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(path, 0, size, block.data())) {
    throwIfFailed(HRESULT_FROM_WIN32(GetLastError()), L"GetFileVersionInfo");
  }
  auto query = [&block](const std::wstring& name, UINT& length) -> void* {
    void* value = nullptr;
    return VerQueryValueW(block.data(), name.c_str(), &value, &length) ? value : nullptr;
  };
  UINT length = 0;
  std::wprintf(L"Version resource\n");
  if (auto* fixed = static_cast<VS_FIXEDFILEINFO*>(query(L"\\", length))) {
    std::wprintf(L"  file version     %u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                 HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    std::wprintf(L"  product version  %u.%u.%u.%u\n", HIWORD(fixed->dwProductVersionMS),
                 LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
                 LOWORD(fixed->dwProductVersionLS));
  }
  auto* translations = static_cast<WORD*>(query(L"\\VarFileInfo\\Translation", length));
  const UINT translationWords = translations ? UINT(length / sizeof(WORD)) : 0;
  for (UINT index = 0; index + 1 < translationWords; index += 2) {
    wchar_t table[16];
    std::swprintf(table, 16, L"%04X%04X", translations[index], translations[index + 1]);
    std::wprintf(L"  strings %ls\n", table);
    for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                                L"OriginalFilename", L"ProductName", L"ProductVersion", L"OLESelfRegister"}) {
      auto* value = static_cast<const wchar_t*>(query(L"\\StringFileInfo\\" + std::wstring(table) + L"\\" + name, length));
      if (value) std::wprintf(L"    %-17ls \"%ls\"\n", name, value);
    }
  }
}

// --- type library ------------------------------------------------------------

const wchar_t* systemKindText(SYSKIND kind) {
  switch (kind) {
    case SYS_WIN16: return L"SYS_WIN16";
    case SYS_WIN32: return L"SYS_WIN32";
    case SYS_MAC: return L"SYS_MAC";
    case SYS_WIN64: return L"SYS_WIN64";
    default: return L"unknown system kind";
  }
}

const wchar_t* typeKindText(TYPEKIND kind) {
  switch (kind) {
    case TKIND_ENUM: return L"enum";
    case TKIND_RECORD: return L"struct";
    case TKIND_MODULE: return L"module";
    case TKIND_INTERFACE: return L"interface";
    case TKIND_DISPATCH: return L"dispinterface";
    case TKIND_COCLASS: return L"coclass";
    case TKIND_ALIAS: return L"typedef";
    case TKIND_UNION: return L"union";
    default: return L"unknown kind";
  }
}

std::wstring typeFlagsText(WORD flags) {
  static const std::pair<WORD, const wchar_t*> names[] = {
      {TYPEFLAG_FAPPOBJECT, L"appobject"},   {TYPEFLAG_FCANCREATE, L"cancreate"},
      {TYPEFLAG_FLICENSED, L"licensed"},     {TYPEFLAG_FPREDECLID, L"predeclid"},
      {TYPEFLAG_FHIDDEN, L"hidden"},         {TYPEFLAG_FCONTROL, L"control"},
      {TYPEFLAG_FDUAL, L"dual"},             {TYPEFLAG_FNONEXTENSIBLE, L"nonextensible"},
      {TYPEFLAG_FOLEAUTOMATION, L"oleautomation"}, {TYPEFLAG_FRESTRICTED, L"restricted"},
      {TYPEFLAG_FAGGREGATABLE, L"aggregatable"},   {TYPEFLAG_FREPLACEABLE, L"replaceable"},
      {TYPEFLAG_FDISPATCHABLE, L"dispatchable"},   {TYPEFLAG_FREVERSEBIND, L"reversebind"},
      {TYPEFLAG_FPROXY, L"proxy"},
  };
  std::wstring text;
  for (const auto& [flag, name] : names) {
    if (flags & flag) text += (text.empty() ? L"" : L", ") + std::wstring(name);
  }
  return text.empty() ? L"none" : text;
}

std::wstring libFlagsText(WORD flags) {
  std::wstring text;
  if (flags & LIBFLAG_FRESTRICTED) text += L"restricted ";
  if (flags & LIBFLAG_FCONTROL) text += L"control ";
  if (flags & LIBFLAG_FHIDDEN) text += L"hidden ";
  if (flags & LIBFLAG_FHASDISKIMAGE) text += L"hasdiskimage ";
  return text.empty() ? L"none" : text.substr(0, text.size() - 1);
}

std::wstring implFlagsText(INT flags) {
  std::wstring text;
  if (flags & IMPLTYPEFLAG_FDEFAULT) text += L"default";
  if (flags & IMPLTYPEFLAG_FSOURCE) text += text.empty() ? L"source" : L", source";
  if (flags & IMPLTYPEFLAG_FRESTRICTED) text += text.empty() ? L"restricted" : L", restricted";
  if (flags & IMPLTYPEFLAG_FDEFAULTVTABLE) text += text.empty() ? L"defaultvtable" : L", defaultvtable";
  return text;
}

const wchar_t* invokeKindText(INVOKEKIND kind) {
  switch (kind) {
    case INVOKE_FUNC: return L"";
    case INVOKE_PROPERTYGET: return L"propget ";
    case INVOKE_PROPERTYPUT: return L"propput ";
    case INVOKE_PROPERTYPUTREF: return L"propputref ";
    default: return L"? ";
  }
}

std::wstring defaultValueText(const PARAMDESC& param) {
  if (!(param.wParamFlags & PARAMFLAG_FHASDEFAULT) || !param.pparamdescex) return {};
  const VARIANT& value = param.pparamdescex->varDefaultValue;
  switch (V_VT(&value)) {
    case VT_BSTR: return L" = \"" + std::wstring(Bstr::view(V_BSTR(&value))) + L"\"";
    case VT_BOOL: return V_BOOL(&value) ? L" = true" : L" = false";
    case VT_I4: return L" = " + std::to_wstring(V_I4(&value));
    default: return L" = <a default of VT " + std::to_wstring(V_VT(&value)) + L">";
  }
}

// Small DISPIDs in decimal, the system's reserved ones in hexadecimal.
std::wstring dispidText(MEMBERID id) {
  if (id >= 0 && id < 0x10000) return std::to_wstring(id);
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(id));
  return text;
}

// The names stored for one function: the function's own, then its
// parameters' (a property put's value has none).
std::vector<std::wstring> storedNames(ITypeInfo& info, MEMBERID id, UINT count) {
  std::vector<BSTR> names(count + 1, nullptr);
  UINT found = 0;
  throwIfFailed(info.GetNames(id, names.data(), UINT(names.size()), &found), L"ITypeInfo::GetNames");
  std::vector<std::wstring> result;
  for (UINT index = 0; index < found; ++index) result.emplace_back(Bstr::adopt(names[index]).view());
  return result;
}

void printFunction(const ComPtr<ITypeInfo>& info, UINT index, TYPEKIND kind) {
  ScopedFuncDesc func(info, index);
  // Names and help strings are stored per function but read per DISPID: for
  // a property they are those of its first accessor, so the parameter names
  // of a put are not shown.
  Bstr name, help;
  throwIfFailed(info->GetDocumentation(func->memid, name.put(), help.put(), nullptr, nullptr),
                L"ITypeInfo::GetDocumentation");
  const std::vector<std::wstring> names = storedNames(*info.get(), func->memid, func->cParams);
  const bool namesAreThisFunctions = func->invkind == INVOKE_FUNC || func->invkind == INVOKE_PROPERTYGET;

  std::wstring line = L"    ";
  if (kind == TKIND_INTERFACE) line += L"slot " + std::to_wstring(func->oVft / sizeof(void*)) + L", ";
  line += L"id " + dispidText(func->memid) + L": " + invokeKindText(func->invkind) +
          typeText(*info.get(), func->elemdescFunc.tdesc) + L" " + std::wstring(name.view()) + L"(";
  for (SHORT param = 0; param < func->cParams; ++param) {
    const ELEMDESC& elem = func->lprgelemdescParam[param];
    if (param) line += L", ";
    line += L"[" + paramFlagsText(elem.paramdesc.wParamFlags) + L"] " + typeText(*info.get(), elem.tdesc);
    if (namesAreThisFunctions && size_t(param) + 1 < names.size()) line += L" " + names[param + 1];
    line += defaultValueText(elem.paramdesc);
  }
  line += L")";
  if (help.get()) line += L"  " + quoted(help);
  std::wprintf(L"%ls\n", line.c_str());
}

void printBasesAndMembers(const ComPtr<ITypeInfo>& info) {
  ScopedTypeAttr attr(info);
  for (UINT entry = 0; entry < attr->cImplTypes; ++entry) {
    const std::wstring name = typeName(*implementedType(*info.get(), entry).get());
    if (attr->typekind == TKIND_COCLASS) {
      INT flags = 0;
      throwIfFailed(info->GetImplTypeFlags(entry, &flags), L"ITypeInfo::GetImplTypeFlags");
      std::wprintf(L"    [%ls] %ls\n", implFlagsText(flags).c_str(), name.c_str());
    } else {
      std::wprintf(L"    base %ls\n", name.c_str());
    }
  }
  // A dispatch view lists the functions of its base (IDispatch) first.
  UINT first = 0;
  if (attr->typekind == TKIND_DISPATCH && attr->cFuncs >= attr->cbSizeVft / sizeof(void*)) {
    first = UINT(attr->cbSizeVft / sizeof(void*));
    std::wprintf(L"    (%u functions of the base first)\n", first);
  }
  for (UINT index = first; index < attr->cFuncs; ++index) printFunction(info, index, attr->typekind);
}

void printType(ITypeLib& lib, UINT index) {
  ComPtr<ITypeInfo> info;
  throwIfFailed(lib.GetTypeInfo(index, info.put()), L"ITypeLib::GetTypeInfo");
  ScopedTypeAttr attr(info);
  Bstr name, help;
  DWORD context = 0;
  throwIfFailed(lib.GetDocumentation(INT(index), name.put(), help.put(), &context, nullptr), L"ITypeLib::GetDocumentation");
  std::wprintf(L"[%u] %ls %ls %ls  version %u.%u\n", index, typeKindText(attr->typekind),
               std::wstring(name.view()).c_str(), guidText(attr->guid).c_str(), attr->wMajorVerNum, attr->wMinorVerNum);
  std::wprintf(L"    flags %ls; help %ls, context %lu\n", typeFlagsText(attr->wTypeFlags).c_str(), quoted(help).c_str(),
               context);

  // A dual interface reads as its dispatch view; its members and slots are
  // those of the vtable view behind it.
  ComPtr<ITypeInfo> members = info;
  if (attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL)) {
    members = vtableView(*info.get());
    std::wprintf(L"    dual, with a vtable view:\n");
  }
  ScopedTypeAttr membersAttr(members);
  if (membersAttr->typekind == TKIND_INTERFACE) {
    std::wprintf(L"    %ls of %u slots (%u bytes), flags %ls\n", typeKindText(membersAttr->typekind),
                 unsigned(membersAttr->cbSizeVft / sizeof(void*)), membersAttr->cbSizeVft,
                 typeFlagsText(membersAttr->wTypeFlags).c_str());
  }
  printBasesAndMembers(members);
}

void printTypeLibrary(const wchar_t* path) {
  ComPtr<ITypeLib> lib;
  throwIfFailed(LoadTypeLibEx(path, REGKIND_NONE, lib.put()), L"LoadTypeLibEx");
  Bstr name, help, helpFile;
  DWORD context = 0;
  throwIfFailed(lib->GetDocumentation(-1, name.put(), help.put(), &context, helpFile.put()),
                L"ITypeLib::GetDocumentation");
  TLIBATTR* attr = nullptr;
  throwIfFailed(lib->GetLibAttr(&attr), L"ITypeLib::GetLibAttr");
  std::wprintf(L"Type library %ls %u.%u %ls\n", std::wstring(name.view()).c_str(), attr->wMajorVerNum,
               attr->wMinorVerNum, guidText(attr->guid).c_str());
  std::wprintf(L"  locale %lu, %ls, flags %ls; help %ls, help file %ls, context %lu\n", attr->lcid,
               systemKindText(attr->syskind), libFlagsText(attr->wLibFlags).c_str(), quoted(help).c_str(),
               quoted(helpFile).c_str(), context);
  lib->ReleaseTLibAttr(attr);
  const UINT count = lib->GetTypeInfoCount();
  std::wprintf(L"  %u types\n", count);
  for (UINT index = 0; index < count; ++index) printType(*lib.get(), index);
}

}  // namespace
}  // namespace korvane::tlbinfo

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fwprintf(stderr, L"usage: tlbinfo <Korvane.dll>\n");
    return 2;
  }
  try {
    std::wprintf(L"%ls\n", argv[1]);
    korvane::tlbinfo::printVersionResource(argv[1]);
    korvane::tlbinfo::printTypeLibrary(argv[1]);
    return 0;
  } catch (const korvane::Failure& failure) {
    std::fflush(stdout);
    std::fwprintf(stderr, L"tlbinfo: %ls\n", failure.message().c_str());
    return 1;
  }
}
