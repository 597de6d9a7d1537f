// CFileAccess late-bound, as automation controllers call it: names through
// GetIDsOfNames, calls through IDispatch::Invoke and the type library.
#include <windows.h>
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "FileTestSupport.h"
#include "Korvane_TLB.h"
#include "ServerModule.h"
#include "TestSupport.h"
#include "support/Bstr.h"
#include "support/ComPtr.h"
#include "support/Variant.h"

using korvane::Bstr;
using korvane::ComPtr;
using korvane::Variant;
using namespace korvane::test;

namespace {

// The outcome of one Invoke: its result, the call's return value and the
// exception information the dispatcher filled in.
struct Call {
  HRESULT hr = E_FAIL;
  Variant result;
  EXCEPINFO exception{};
  UINT argumentError = 0;

  Call() = default;
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;
  ~Call() {
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  }
};

struct LateBoundFixture {
  ServerModule server;
  TempFolder folder;
  std::wstring path = folder / L"data.bin";
  ComPtr<IDispatch> object = create();

  ComPtr<IDispatch> create() const {
    ComPtr<IDispatch> dispatch;
    REQUIRE(server.create(CLSID_CFileAccess, IID_IDispatch, dispatch.putVoid()) == S_OK);
    return dispatch;
  }

  DISPID idOf(const wchar_t* name) const {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    REQUIRE(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id) == S_OK);
    return id;
  }

  // Arguments in the order of the declaration; Invoke takes them reversed.
  void invoke(Call& call, const wchar_t* name, WORD flags, std::vector<VARIANT> arguments = {}) const {
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      params.rgdispidNamedArgs = &put;
      params.cNamedArgs = 1;
    }
    call.hr = object->Invoke(idOf(name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                             call.result.put(), &call.exception, &call.argumentError);
  }

  // A call expected to succeed, with its result.
  Variant succeed(const wchar_t* name, WORD flags, std::vector<VARIANT> arguments = {}) const {
    Call call;
    invoke(call, name, flags, std::move(arguments));
    REQUIRE(call.hr == S_OK);
    return std::move(call.result);
  }

  void setFileName(WORD flags, const std::wstring& name) const {
    const Bstr value(name);
    VARIANT argument;
    V_VT(&argument) = VT_BSTR;
    V_BSTR(&argument) = value.get();
    succeed(L"FileName", flags, {argument});
  }

  long state() const {
    const Variant state = succeed(L"State", DISPATCH_PROPERTYGET);
    REQUIRE(state.type() == VT_I4);
    return V_I4(state.get());
  }
};

VARIANT integer(long value) {
  VARIANT v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

}  // namespace

TEST_CASE_FIXTURE(LateBoundFixture, "late-bound calls reach the members and return their results") {
  CHECK(state() == 0);
  // The object hands out a null BSTR; the dispatcher may pass it on as an
  // empty string of its own (Wine's does), which automation takes as equal.
  const Variant noName = succeed(L"FileName", DISPATCH_PROPERTYGET);
  CHECK(noName.type() == VT_BSTR);
  CHECK(SysStringLen(V_BSTR(noName.get())) == 0);

  setFileName(DISPATCH_PROPERTYPUT, path);
  const Variant name = succeed(L"FileName", DISPATCH_PROPERTYGET);
  REQUIRE(name.type() == VT_BSTR);
  CHECK(Bstr::view(V_BSTR(name.get())) == path);

  for (const wchar_t* member : {L"Rewrite", L"Close", L"Reset", L"Close"}) {
    CAPTURE(narrowName(member));
    const Variant done = succeed(member, DISPATCH_METHOD);
    CHECK(done.type() == VT_BOOL);
    CHECK(V_BOOL(done.get()) == VARIANT_TRUE);
    CHECK(state() == (std::wstring_view(member) == L"Close" ? 0 : 1));
  }
  CHECK(fileExists(path));
}

TEST_CASE_FIXTURE(LateBoundFixture, "the put of FileName is reached with DISPATCH_PROPERTYPUT or DISPATCH_PROPERTYPUTREF alone") {
  const struct {
    std::string flag;
    WORD flags;
  } cases[] = {
      {"DISPATCH_PROPERTYPUT", DISPATCH_PROPERTYPUT},
      {"DISPATCH_PROPERTYPUTREF", DISPATCH_PROPERTYPUTREF},
  };
  for (const auto& c : cases) {
    CAPTURE(c.flag);
    const std::wstring name = folder / widen(c.flag);
    setFileName(c.flags, name);
    const Variant readBack = succeed(L"FileName", DISPATCH_PROPERTYGET);
    CHECK(Bstr::view(V_BSTR(readBack.get())) == name);
  }
}

TEST_CASE_FIXTURE(LateBoundFixture, "a failing late-bound call comes back as DISP_E_EXCEPTION with the error object's content") {
  const auto expectException = [&](const wchar_t* member, WORD flags, std::vector<VARIANT> arguments,
                                   const wchar_t* description) {
    CAPTURE(narrowName(member));
    Call call;
    invoke(call, member, flags, std::move(arguments));
    CHECK(call.hr == DISP_E_EXCEPTION);
    CHECK(call.exception.scode == static_cast<SCODE>(0x8000FFFF));
    CHECK(call.exception.wCode == 0);
    CHECK(Bstr::view(call.exception.bstrSource) == L"Korvane.CFileAccess");
    CHECK(Bstr::view(call.exception.bstrDescription) == description);
    CHECK(call.exception.dwHelpContext == 0);
  };
  expectException(L"Close", DISPATCH_METHOD, {}, L"File not open");
  expectException(L"Reset", DISPATCH_METHOD, {}, L"I/O error 102");

  setFileName(DISPATCH_PROPERTYPUT, path);
  succeed(L"Rewrite", DISPATCH_METHOD);
  expectException(L"Rewrite", DISPATCH_METHOD, {}, L"File already open");
  const Bstr other(folder / L"other.bin");
  VARIANT argument;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = other.get();
  expectException(L"FileName", DISPATCH_PROPERTYPUT, {argument}, L"File open");
  CHECK(state() == 1);
}

TEST_CASE_FIXTURE(LateBoundFixture, "BlockRead and BlockWrite cannot be called late-bound: the dispatcher refuses their void Buffer") {
  writeFileContent(path, "content");
  setFileName(DISPATCH_PROPERTYPUT, path);
  succeed(L"Reset", DISPATCH_METHOD);
  char memory[8] = {};
  for (const wchar_t* member : {L"BlockRead", L"BlockWrite"}) {
    CAPTURE(narrowName(member));
    VARIANT address;
    V_VT(&address) = VT_BYREF | VT_UI1;
    V_UI1REF(&address) = reinterpret_cast<BYTE*>(memory);
    Call call;
    invoke(call, member, DISPATCH_METHOD, {address, integer(sizeof memory)});
    CHECK(call.hr == DISP_E_BADVARTYPE);
    CHECK(call.result.type() == VT_EMPTY);
  }
  // Neither reached the object: the file is where Reset left it.
  CHECK(state() == 1);
  ComPtr<ICFileAccess> early;
  REQUIRE(object.query(IID_ICFileAccess, early) == S_OK);
  long count = 0;
  REQUIRE(early->BlockRead(memory, sizeof memory, &count) == S_OK);
  CHECK(std::string(memory, count) == "content");
}

TEST_CASE("once every object is released the DLL may be unloaded") {
  ServerModule server;
  {
    TempFolder folder;
    ComPtr<ICFileAccess> object;
    REQUIRE(server.create(CLSID_CFileAccess, IID_ICFileAccess, object.putVoid()) == S_OK);
    ComPtr<IDispatch> dispatch;
    REQUIRE(object.query(IID_IDispatch, dispatch) == S_OK);
    VARIANT_BOOL done = 0;
    REQUIRE(object->put_FileName(Bstr(folder / L"open.bin").get()) == S_OK);
    REQUIRE(object->Rewrite(&done) == S_OK);
    CHECK(server.canUnloadNow() == S_FALSE);
  }
  CHECK(server.canUnloadNow() == S_OK);
}
