// The type library as clients read it from the built Korvane.dll, compared
// with the contract written out in ExpectedContract.cpp.
#include <windows.h>
#include <oleauto.h>
#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "ContractTestSupport.h"
#include "StoredTypeLib.h"
#include "TestSupport.h"
#include "TypeInfoReading.h"
#include "support/Bstr.h"
#include "support/Failure.h"

using namespace korvane;
using namespace korvane::contract;
using namespace korvane::test;

REGISTER_EXCEPTION_TRANSLATOR(const korvane::Failure& failure) {
  return doctest::String(narrow(failure.message()).c_str());
}

namespace {

constexpr SYSKIND ownSystemKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
constexpr UINT pointerSize = sizeof(void*);

using ModuleOwner = std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)>;

BOOL CALLBACK collectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
  reinterpret_cast<std::vector<std::wstring>*>(names)->push_back(
      IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) : name);
  return TRUE;
}

BOOL CALLBACK collectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages) {
  reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
  return TRUE;
}

// A dual interface's dispatch view reports the stored flags without
// oleautomation, which describes the vtable behind it.
WORD dispatchViewFlags(const ExpectedType& type) {
  return type.kind == TKIND_INTERFACE ? WORD(type.flags & ~TYPEFLAG_FOLEAUTOMATION) : type.flags;
}

std::wstring nameOrEmpty(const wchar_t* text) { return text ? text : L""; }

void checkLibraryOf(ITypeInfo& type, const wchar_t* guid, const wchar_t* name, WORD major, WORD minor, LCID lcid) {
  ComPtr<ITypeLib> lib;
  UINT index = 0;
  REQUIRE(type.GetContainingTypeLib(lib.put(), &index) == S_OK);
  TLIBATTR* attr = nullptr;
  REQUIRE(lib->GetLibAttr(&attr) == S_OK);
  CHECK(guidText(attr->guid) == std::wstring(guid));
  CHECK(attr->wMajorVerNum == major);
  CHECK(attr->wMinorVerNum == minor);
  CHECK(attr->lcid == lcid);
  lib->ReleaseTLibAttr(attr);
  Bstr libName;
  REQUIRE(lib->GetDocumentation(-1, libName.put(), nullptr, nullptr, nullptr) == S_OK);
  CHECK(std::wstring(libName.view()) == std::wstring(name));
}

void checkDefault(const PARAMDESC& stored, const ExpectedDefault& expected) {
  if (expected.type == VT_EMPTY) return;
  REQUIRE(stored.pparamdescex != nullptr);
  const VARIANT& value = stored.pparamdescex->varDefaultValue;
  REQUIRE(V_VT(&value) == expected.type);
  if (expected.type == VT_BSTR) CHECK(std::wstring(Bstr::view(V_BSTR(&value))) == std::wstring(expected.text));
  if (expected.type == VT_BOOL) CHECK(V_BOOL(&value) == expected.value);
}

// The names GetNames gives for a DISPID: those of the first function that
// has it, which for a property is its get.
std::vector<std::wstring> namesOf(ITypeInfo& view, MEMBERID id) {
  BSTR names[16] = {};
  UINT count = 0;
  REQUIRE(view.GetNames(id, names, 16, &count) == S_OK);
  std::vector<std::wstring> result;
  for (UINT index = 0; index < count; ++index) result.emplace_back(Bstr::adopt(names[index]).view());
  return result;
}

void checkFunction(const ComPtr<ITypeInfo>& view, UINT index, const ExpectedFunction& expected, FUNCKIND kind,
                   int slot) {
  ScopedFuncDesc func(view, index);
  CHECK(func->memid == expected.id);
  CHECK(func->funckind == kind);
  CHECK(func->invkind == expected.invokeKind);
  CHECK(func->callconv == CC_STDCALL);
  CHECK(func->wFuncFlags == 0);
  CHECK(func->cParamsOpt == 0);
  if (kind == FUNC_PUREVIRTUAL) CHECK(func->oVft == SHORT(slot * pointerSize));
  CHECK(typeText(*view.get(), func->elemdescFunc.tdesc) == std::wstring(expected.result));

  Bstr name, help;
  DWORD context = 1;
  REQUIRE(view->GetDocumentation(func->memid, name.put(), help.put(), &context, nullptr) == S_OK);
  CHECK(std::wstring(name.view()) == std::wstring(expected.name));
  if (expected.helpString) {
    CHECK(std::wstring(help.view()) == std::wstring(expected.helpString));
  } else {
    CHECK(help.get() == nullptr);
  }
  CHECK(context == 0);

  REQUIRE(func->cParams == SHORT(expected.params.size()));
  for (size_t param = 0; param < expected.params.size(); ++param) {
    const ExpectedParam& wanted = expected.params[param];
    const ELEMDESC& stored = func->lprgelemdescParam[param];
    INFO("parameter ", param + 1);
    CHECK(typeText(*view.get(), stored.tdesc) == std::wstring(wanted.type));
    CHECK(paramFlagsText(stored.paramdesc.wParamFlags) == paramFlagsText(wanted.flags));
    checkDefault(stored.paramdesc, wanted.defaultValue);
  }

  if (expected.invokeKind != INVOKE_PROPERTYPUT) {
    std::vector<std::wstring> names{expected.name};
    for (const ExpectedParam& param : expected.params) names.emplace_back(param.name);
    CHECK(namesOf(*view.get(), expected.id) == names);
  }
}

}  // namespace

TEST_CASE("the type library is the only, language-neutral TYPELIB resource, number 1") {
  ModuleOwner module(LoadLibraryExW(dllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), &FreeLibrary);
  REQUIRE(module);
  std::vector<std::wstring> names;
  EnumResourceNamesW(module.get(), L"TYPELIB", collectName, reinterpret_cast<LONG_PTR>(&names));
  CHECK(names == std::vector<std::wstring>{L"#1"});
  std::vector<WORD> languages;
  EnumResourceLanguagesW(module.get(), L"TYPELIB", MAKEINTRESOURCEW(1), collectLanguage,
                         reinterpret_cast<LONG_PTR>(&languages));
  CHECK(languages == std::vector<WORD>{MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)});
  CHECK(FindResourceExW(module.get(), L"TYPELIB", MAKEINTRESOURCEW(1), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)));
}

TEST_CASE("the library's own attributes") {
  ComPtr<ITypeLib> lib = loadTypeLibrary();
  TLIBATTR* attr = nullptr;
  REQUIRE(lib->GetLibAttr(&attr) == S_OK);
  CHECK(guidText(attr->guid) == std::wstring(expectedLibrary.guid));
  CHECK(attr->wMajorVerNum == expectedLibrary.majorVersion);
  CHECK(attr->wMinorVerNum == expectedLibrary.minorVersion);
  CHECK(attr->lcid == expectedLibrary.lcid);
  CHECK(attr->syskind == ownSystemKind);
  // The platform marks every library it read from a file; nothing is stored.
  CHECK((attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE) == 0);
  lib->ReleaseTLibAttr(attr);

  Bstr name, help, helpFile;
  DWORD context = 1;
  REQUIRE(lib->GetDocumentation(-1, name.put(), help.put(), &context, helpFile.put()) == S_OK);
  CHECK(std::wstring(name.view()) == std::wstring(expectedLibrary.name));
  CHECK(std::wstring(help.view()) == std::wstring(expectedLibrary.helpString));
  CHECK(helpFile.get() == nullptr);
  CHECK(context == 0);
  CHECK(lib->GetTypeInfoCount() == expectedTypes.size());
}

TEST_CASE("the eight types in order: kind, identifier, version, flags and help string") {
  ComPtr<ITypeLib> lib = loadTypeLibrary();
  for (UINT index = 0; index < expectedTypes.size(); ++index) {
    const ExpectedType& expected = expectedTypes[index];
    INFO(describe(expected));
    Bstr name, help;
    DWORD context = 1;
    REQUIRE(lib->GetDocumentation(INT(index), name.put(), help.put(), &context, nullptr) == S_OK);
    CHECK(std::wstring(name.view()) == std::wstring(expected.name));
    CHECK(std::wstring(help.view()) == std::wstring(expected.helpString));
    CHECK(context == 0);

    // An interface is stored as a dual one: the library hands out its
    // dispatch view first and the described interface behind it.
    ComPtr<ITypeInfo> type = typeAt(*lib.get(), index);
    ScopedTypeAttr attr(type);
    CHECK(attr->typekind == (expected.kind == TKIND_INTERFACE ? TKIND_DISPATCH : expected.kind));
    CHECK(guidText(attr->guid) == std::wstring(expected.guid));
    CHECK(attr->wMajorVerNum == 1);
    CHECK(attr->wMinorVerNum == 0);
    CHECK(attr->wTypeFlags == dispatchViewFlags(expected));
    CHECK(attr->lcid == 0);
    if (expected.kind == TKIND_COCLASS) CHECK(attr->cImplTypes == expected.implemented.size());
    if (expected.kind != TKIND_INTERFACE) continue;

    ComPtr<ITypeInfo> vtable = memberView(type, expected);
    ScopedTypeAttr vtableAttr(vtable);
    CHECK(vtableAttr->typekind == TKIND_INTERFACE);
    CHECK(guidText(vtableAttr->guid) == std::wstring(expected.guid));
    CHECK(vtableAttr->wMajorVerNum == 1);
    CHECK(vtableAttr->wMinorVerNum == 0);
    CHECK(vtableAttr->wTypeFlags == expected.flags);
    CHECK(vtableAttr->cbSizeVft == expected.vtableSlots * pointerSize);
    CHECK(vtableAttr->cFuncs == expected.functions.size());
  }
}

TEST_CASE("interfaces and dispinterfaces derive from IUnknown or IDispatch of the imported stdole2") {
  ComPtr<ITypeLib> lib = loadTypeLibrary();
  for (UINT index = 0; index < expectedTypes.size(); ++index) {
    const ExpectedType& expected = expectedTypes[index];
    if (!expected.parent) continue;
    INFO(describe(expected));
    ComPtr<ITypeInfo> view = memberView(typeAt(*lib.get(), index), expected);
    ScopedTypeAttr attr(view);
    REQUIRE(attr->cImplTypes == 1);
    ComPtr<ITypeInfo> base = implementedType(*view.get(), 0);
    const ExpectedBase& wanted = expectedBase(expected.parent);
    CHECK(typeName(*base.get()) == std::wstring(wanted.name));
    CHECK(guidText(ScopedTypeAttr(base)->guid) == std::wstring(wanted.guid));
    checkLibraryOf(*base.get(), expectedImport.guid, expectedImport.name, expectedImport.majorVersion,
                   expectedImport.minorVersion, expectedImport.lcid);
  }
}

TEST_CASE("members: slot, DISPID, invoke kind, result, help string and every parameter") {
  ComPtr<ITypeLib> lib = loadTypeLibrary();
  for (UINT index = 0; index < expectedTypes.size(); ++index) {
    const ExpectedType& expected = expectedTypes[index];
    if (expected.kind == TKIND_COCLASS) continue;
    ComPtr<ITypeInfo> view = memberView(typeAt(*lib.get(), index), expected);
    ScopedTypeAttr attr(view);
    // A dispinterface lists the functions of IDispatch before its own.
    const UINT inherited = expected.kind == TKIND_DISPATCH ? UINT(expectedBase(L"IDispatch").slots) : 0;
    INFO(describe(expected));
    REQUIRE(attr->cFuncs == inherited + expected.functions.size());
    const int firstSlot = expectedBase(expected.parent).slots;
    for (UINT member = 0; member < expected.functions.size(); ++member) {
      INFO(describe(expected, expected.functions[member]));
      checkFunction(view, inherited + member, expected.functions[member],
                    expected.kind == TKIND_DISPATCH ? FUNC_DISPATCH : FUNC_PUREVIRTUAL, firstSlot + int(member));
    }
  }
}

TEST_CASE("late binding: the dispatch views map member and parameter names to DISPIDs and positions") {
  ComPtr<ITypeLib> lib = loadTypeLibrary();
  for (UINT index = 0; index < expectedTypes.size(); ++index) {
    const ExpectedType& expected = expectedTypes[index];
    if (expected.kind == TKIND_COCLASS) continue;
    ComPtr<ITypeInfo> dispatchView = typeAt(*lib.get(), index);
    for (const ExpectedFunction& function : expected.functions) {
      INFO(describe(expected, function));
      std::vector<std::wstring> names{function.name};
      // Named arguments, which VB binds through the same call. A retval is
      // the call's result, not an argument.
      if (function.invokeKind == INVOKE_FUNC) {
        for (const ExpectedParam& param : function.params) {
          if (!(param.flags & PARAMFLAG_FRETVAL)) names.emplace_back(param.name);
        }
      }
      std::vector<LPOLESTR> request;
      for (std::wstring& name : names) request.push_back(name.data());
      std::vector<MEMBERID> ids(names.size(), -2);
      REQUIRE(dispatchView->GetIDsOfNames(request.data(), UINT(request.size()), ids.data()) == S_OK);
      CHECK(ids[0] == function.id);
      for (size_t position = 1; position < ids.size(); ++position) CHECK(ids[position] == MEMBERID(position - 1));
    }
  }
}

TEST_CASE("coclasses name their interfaces with the default and source flags") {
  ComPtr<ITypeLib> lib = loadTypeLibrary();
  for (UINT index = 0; index < expectedTypes.size(); ++index) {
    const ExpectedType& expected = expectedTypes[index];
    if (expected.kind != TKIND_COCLASS) continue;
    INFO(describe(expected));
    ComPtr<ITypeInfo> coclass = typeAt(*lib.get(), index);
    for (UINT entry = 0; entry < expected.implemented.size(); ++entry) {
      INFO("entry ", entry);
      ComPtr<ITypeInfo> implemented = implementedType(*coclass.get(), entry);
      CHECK(typeName(*implemented.get()) == std::wstring(expected.implemented[entry].name));
      checkLibraryOf(*implemented.get(), expectedLibrary.guid, expectedLibrary.name, expectedLibrary.majorVersion,
                     expectedLibrary.minorVersion, expectedLibrary.lcid);
      INT flags = -1;
      REQUIRE(coclass->GetImplTypeFlags(entry, &flags) == S_OK);
      CHECK(flags == expected.implemented[entry].flags);
    }
  }
}

TEST_CASE("the stored names: hashed under locale 0x409, every function's parameters, the unnamed put value") {
  const StoredTypeLib stored = StoredTypeLib::fromModule(dllPath());
  CHECK(stored.hashLocale() == 0x409);
  for (UINT index = 0; index < expectedTypes.size(); ++index) {
    const ExpectedType& expected = expectedTypes[index];
    for (UINT member = 0; member < expected.functions.size(); ++member) {
      const ExpectedFunction& function = expected.functions[member];
      INFO(describe(expected, function));
      const StoredFunctionNames names = stored.names(index, member);
      CHECK(names.function == std::wstring(function.name));
      REQUIRE(names.params.size() == function.params.size());
      for (size_t param = 0; param < function.params.size(); ++param) {
        INFO("parameter ", param + 1);
        CHECK(names.params[param].has_value() == (function.params[param].name != nullptr));
        CHECK(names.params[param].value_or(L"") == nameOrEmpty(function.params[param].name));
      }
    }
  }
}
