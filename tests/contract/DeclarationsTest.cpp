// The C++ declarations of Korvane_TLB agree with the type library: the
// identifiers carry the library's values, and every vtable slot the library
// stores for a member runs the C++ method of that member.
#include <windows.h>
#include <oleauto.h>
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "ContractTestSupport.h"
#include "Korvane_TLB.h"
#include "TestSupport.h"
#include "TypeInfoReading.h"
#include "support/Bstr.h"
#include "support/Variant.h"

using namespace korvane;
using namespace korvane::contract;
using namespace korvane::test;

namespace {

// Implementations of the generated interfaces that note which method ran.
template <class Interface>
class UnknownProbe : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  std::wstring called;

 protected:
  HRESULT note(const wchar_t* method) {
    called = method;
    return S_OK;
  }
};

template <class Interface>
class DispatchProbe : public UnknownProbe<Interface> {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
};

class KorvaneProbe final : public UnknownProbe<ICKorvane> {
 public:
  long STDMETHODCALLTYPE RegEnumValue(long, BSTR, long, BSTR*, long*, BSTR*) override {
    note(L"RegEnumValue");
    return 0;
  }
  void STDMETHODCALLTYPE GetcomputerName(VARIANT*) override { note(L"GetcomputerName"); }
};

class InOutFileDBProbe final : public DispatchProbe<ICInOutFileDB> {
 public:
  VARIANT_BOOL STDMETHODCALLTYPE WriteFileToDatabase(BSTR, BSTR, long, BSTR, BSTR, BSTR, VARIANT) override {
    note(L"WriteFileToDatabase");
    return VARIANT_TRUE;
  }
  VARIANT_BOOL STDMETHODCALLTYPE ReadFileFromDatabase(BSTR, BSTR, long, BSTR, BSTR, BSTR, VARIANT) override {
    note(L"ReadFileFromDatabase");
    return VARIANT_TRUE;
  }
};

class FileAccessProbe final : public DispatchProbe<ICFileAccess> {
 public:
  HRESULT STDMETHODCALLTYPE Reset(VARIANT_BOOL*) override { return note(L"Reset"); }
  HRESULT STDMETHODCALLTYPE Rewrite(VARIANT_BOOL*) override { return note(L"Rewrite"); }
  HRESULT STDMETHODCALLTYPE Close(VARIANT_BOOL*) override { return note(L"Close"); }
  HRESULT STDMETHODCALLTYPE get_State(long*) override { return note(L"get_State"); }
  HRESULT STDMETHODCALLTYPE get_FileName(BSTR*) override { return note(L"get_FileName"); }
  HRESULT STDMETHODCALLTYPE put_FileName(BSTR) override { return note(L"put_FileName"); }
  HRESULT STDMETHODCALLTYPE BlockRead(void*, long, long*) override { return note(L"BlockRead"); }
  HRESULT STDMETHODCALLTYPE BlockWrite(void*, long, long*) override { return note(L"BlockWrite"); }
};

// How DispCallFunc passes an argument of a stored type: pointers, and the
// untyped by-value void, as a pointer-sized null; the rest by value, empty.
VARTYPE argumentType(const TYPEDESC& type) {
  return type.vt == VT_PTR || type.vt == VT_VOID ? VARTYPE(VT_BYREF | VT_UI1) : type.vt;
}

VARTYPE resultType(const TYPEDESC& type) {
  switch (type.vt) {
    case VT_VOID: return VT_EMPTY;
    case VT_HRESULT: return VT_ERROR;
    default: return type.vt;
  }
}

// Calls every function of the interface's vtable view at its stored slot
// and checks that the C++ method of the same member ran.
template <class Probe>
void checkSlots(ITypeLib& lib, const IID& iid, Probe& probe, void* object) {
  ComPtr<ITypeInfo> dispatchView;
  REQUIRE(lib.GetTypeInfoOfGuid(iid, dispatchView.put()) == S_OK);
  ComPtr<ITypeInfo> view = vtableView(*dispatchView.get());
  ScopedTypeAttr attr(view);
  REQUIRE(attr->cFuncs > 0);
  for (UINT index = 0; index < attr->cFuncs; ++index) {
    ScopedFuncDesc func(view, index);
    Bstr name;
    REQUIRE(view->GetDocumentation(func->memid, name.put(), nullptr, nullptr, nullptr) == S_OK);
    const std::wstring method = cppName(name.get(), func->invkind);
    INFO(narrow(method));

    std::vector<Variant> values(func->cParams);
    std::vector<VARIANT*> arguments;
    std::vector<VARTYPE> types;
    for (SHORT param = 0; param < func->cParams; ++param) {
      types.push_back(argumentType(func->lprgelemdescParam[param].tdesc));
      V_VT(values[param].get()) = types.back();
      arguments.push_back(values[param].get());
    }
    Variant result;
    probe.called.clear();
    CHECK(DispCallFunc(object, func->oVft, CC_STDCALL, resultType(func->elemdescFunc.tdesc), UINT(func->cParams),
                         types.data(), arguments.data(), result.put()) == S_OK);
    CHECK(probe.called == method);
  }
}

}  // namespace

TEST_CASE("the identifiers of Korvane_TLB carry the library's values") {
  CHECK(guidText(LIBID_Korvane) == std::wstring(expectedLibrary.guid));
  CHECK(Korvane_MajorVersion == expectedLibrary.majorVersion);
  CHECK(Korvane_MinorVersion == expectedLibrary.minorVersion);

  const struct {
    const wchar_t* type;
    const GUID& identifier;
  } identifiers[] = {
      {L"ICKorvane", IID_ICKorvane},
      {L"CKorvane", CLSID_CKorvane},
      {L"ICInOutFileDB", IID_ICInOutFileDB},
      {L"ICInOutFileDBEvents", DIID_ICInOutFileDBEvents},
      {L"CInOutFileDB", CLSID_CInOutFileDB},
      {L"ICFileAccess", IID_ICFileAccess},
      {L"ICFileAccessEvents", DIID_ICFileAccessEvents},
      {L"CFileAccess", CLSID_CFileAccess},
  };
  REQUIRE(std::size(identifiers) == expectedTypes.size());
  for (size_t index = 0; index < expectedTypes.size(); ++index) {
    INFO(describe(expectedTypes[index]));
    CHECK(std::wstring(identifiers[index].type) == std::wstring(expectedTypes[index].name));
    CHECK(guidText(identifiers[index].identifier) == std::wstring(expectedTypes[index].guid));
  }

  CHECK(__uuidof(ICKorvane) == IID_ICKorvane);
  CHECK(__uuidof(ICInOutFileDB) == IID_ICInOutFileDB);
  CHECK(__uuidof(ICInOutFileDBEvents) == DIID_ICInOutFileDBEvents);
  CHECK(__uuidof(ICFileAccess) == IID_ICFileAccess);
  CHECK(__uuidof(ICFileAccessEvents) == DIID_ICFileAccessEvents);
}

TEST_CASE("each stored vtable slot runs the C++ method of the same member") {
  ComPtr<ITypeLib> lib = loadTypeLibrary();
  SUBCASE("ICKorvane") {
    KorvaneProbe probe;
    checkSlots(*lib.get(), IID_ICKorvane, probe, static_cast<ICKorvane*>(&probe));
  }
  SUBCASE("ICInOutFileDB") {
    InOutFileDBProbe probe;
    checkSlots(*lib.get(), IID_ICInOutFileDB, probe, static_cast<ICInOutFileDB*>(&probe));
  }
  SUBCASE("ICFileAccess") {
    FileAccessProbe probe;
    checkSlots(*lib.get(), IID_ICFileAccess, probe, static_cast<ICFileAccess*>(&probe));
  }
}
