// What every object shows at the COM boundary: its interface table, identity,
// reference counting and aggregation, class information and IDispatch.
#include <windows.h>
#include <ocidl.h>
#include <doctest/doctest.h>

#include <atomic>

#include "Korvane_TLB.h"
#include "ServerModule.h"
#include "TestSupport.h"
#include "support/Bstr.h"
#include "support/ComPtr.h"

using korvane::Bstr;
using korvane::ComPtr;
using korvane::test::ServerModule;

namespace {

struct InterfaceCase {
  const char* name;
  const IID& iid;
};

const InterfaceCase interfaces[] = {
    {"IUnknown", IID_IUnknown},
    {"ICKorvane", IID_ICKorvane},
    {"ICInOutFileDB", IID_ICInOutFileDB},
    {"ICFileAccess", IID_ICFileAccess},
    {"IDispatch", IID_IDispatch},
    {"IConnectionPointContainer", IID_IConnectionPointContainer},
    {"IProvideClassInfo", IID_IProvideClassInfo},
    {"ISupportErrorInfo", IID_ISupportErrorInfo},
    {"IPersist", IID_IPersist},
    {"IMarshal", IID_IMarshal},
    {"IProvideClassInfo2", IID_IProvideClassInfo2},
};

struct ClassCase {
  const char* name;
  const CLSID& clsid;
  const IID& defaultInterface;
  // The names from `interfaces` that the class answers.
  std::initializer_list<const char*> answers;
};

const ClassCase classes[] = {
    {"CKorvane", CLSID_CKorvane, IID_ICKorvane,
     {"IUnknown", "ICKorvane", "IProvideClassInfo", "ISupportErrorInfo"}},
    {"CInOutFileDB", CLSID_CInOutFileDB, IID_ICInOutFileDB,
     {"IUnknown", "ICInOutFileDB", "IDispatch", "IConnectionPointContainer", "IProvideClassInfo",
      "ISupportErrorInfo"}},
    {"CFileAccess", CLSID_CFileAccess, IID_ICFileAccess,
     {"IUnknown", "ICFileAccess", "IDispatch", "IConnectionPointContainer", "IProvideClassInfo",
      "ISupportErrorInfo"}},
};

bool answers(const ClassCase& c, const char* name) {
  for (const char* answered : c.answers) {
    if (std::string_view(answered) == name) return true;
  }
  return false;
}

ComPtr<IUnknown> create(const ServerModule& server, const ClassCase& c) {
  ComPtr<IUnknown> object;
  REQUIRE(server.create(c.clsid, IID_IUnknown, object.putVoid()) == S_OK);
  return object;
}

// A controlling object for aggregation tests: counts its own references and
// hands out the inner object's interfaces as its own.
class Outer final : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    return inner ? inner->QueryInterface(iid, ppv) : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override { return --references; }

  LONG references = 1;
  IUnknown* inner = nullptr;  // the inner object's own IUnknown
};

}  // namespace

TEST_CASE("each class answers exactly its interfaces, and says so for error information") {
  ServerModule server;
  for (const auto& c : classes) {
    auto object = create(server, c);
    ComPtr<ISupportErrorInfo> errorInfo;
    REQUIRE(object.query(IID_ISupportErrorInfo, errorInfo) == S_OK);
    for (const auto& i : interfaces) {
      CAPTURE(c.name);
      CAPTURE(i.name);
      const bool expected = answers(c, i.name);
      void* found = reinterpret_cast<void*>(0x1234);
      const HRESULT hr = object->QueryInterface(i.iid, &found);
      CHECK(hr == (expected ? S_OK : E_NOINTERFACE));
      CHECK((found != nullptr) == expected);
      if (found) static_cast<IUnknown*>(found)->Release();
      CHECK(errorInfo->InterfaceSupportsErrorInfo(i.iid) == (expected ? S_OK : S_FALSE));
    }
  }
}

TEST_CASE("every interface of an object leads back to one identity and one count") {
  ServerModule server;
  for (const auto& c : classes) {
    CAPTURE(c.name);
    auto object = create(server, c);
    ComPtr<IUnknown> defaultInterface, identity;
    REQUIRE(object.query(c.defaultInterface, defaultInterface) == S_OK);
    REQUIRE(defaultInterface.query(IID_IUnknown, identity) == S_OK);
    CHECK(identity.get() == object.get());
    // object, defaultInterface and identity hold three references.
    CHECK(defaultInterface->AddRef() == 4);
    CHECK(object->Release() == 3);
  }
}

TEST_CASE("IProvideClassInfo describes the object's coclass") {
  ServerModule server;
  for (const auto& c : classes) {
    CAPTURE(c.name);
    auto object = create(server, c);
    ComPtr<IProvideClassInfo> provider;
    REQUIRE(object.query(IID_IProvideClassInfo, provider) == S_OK);
    ComPtr<ITypeInfo> info;
    REQUIRE(provider->GetClassInfo(info.put()) == S_OK);
    TYPEATTR* attributes = nullptr;
    REQUIRE(info->GetTypeAttr(&attributes) == S_OK);
    CHECK(attributes->typekind == TKIND_COCLASS);
    CHECK(IsEqualCLSID(attributes->guid, c.clsid));
    info->ReleaseTypeAttr(attributes);
  }
}

TEST_CASE("IDispatch of the automation classes comes from the type library") {
  ServerModule server;

  struct NameCase {
    const ClassCase& owner;
    const wchar_t* name;
    DISPID id;
  };
  const NameCase names[] = {
      {classes[1], L"WriteFileToDatabase", 2}, {classes[1], L"ReadFileFromDatabase", 4},
      {classes[2], L"Reset", 1},               {classes[2], L"State", 4},
      {classes[2], L"FileName", 5},            {classes[2], L"BlockRead", 6},
      {classes[2], L"BlockWrite", 8},
  };
  for (const auto& n : names) {
    CAPTURE(korvane::test::narrowName(n.name));
    auto object = create(server, n.owner);
    ComPtr<IDispatch> dispatch;
    REQUIRE(object.query(IID_IDispatch, dispatch) == S_OK);
    LPOLESTR name = const_cast<LPOLESTR>(n.name);
    DISPID id = 0;
    CHECK(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id) == S_OK);
    CHECK(id == n.id);
  }

  for (const ClassCase* c : {&classes[1], &classes[2]}) {
    CAPTURE(c->name);
    auto object = create(server, *c);
    ComPtr<IDispatch> dispatch;
    REQUIRE(object.query(IID_IDispatch, dispatch) == S_OK);

    UINT count = 0;
    CHECK(dispatch->GetTypeInfoCount(&count) == S_OK);
    CHECK(count == 1);

    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1234);
    CHECK(dispatch->GetTypeInfo(1, 0, &info) == DISP_E_BADINDEX);
    CHECK(info == nullptr);

    ComPtr<ITypeInfo> dispatchInfo;
    REQUIRE(dispatch->GetTypeInfo(0, 0, dispatchInfo.put()) == S_OK);
    TYPEATTR* attributes = nullptr;
    REQUIRE(dispatchInfo->GetTypeAttr(&attributes) == S_OK);
    CHECK(IsEqualIID(attributes->guid, c->defaultInterface));
    dispatchInfo->ReleaseTypeAttr(attributes);

    LPOLESTR unknownName = const_cast<LPOLESTR>(L"NoSuchMember");
    DISPID id = 0;
    CHECK(dispatch->GetIDsOfNames(IID_NULL, &unknownName, 1, 0, &id) == DISP_E_UNKNOWNNAME);
  }
}

TEST_CASE("an aggregated object delegates to its outer object but for its own IUnknown") {
  ServerModule server;
  for (const auto& c : classes) {
    CAPTURE(c.name);
    Outer outer;
    ComPtr<IUnknown> inner;
    REQUIRE(server.create(c.clsid, IID_IUnknown, inner.putVoid(), &outer) == S_OK);
    REQUIRE(inner);
    CHECK(inner.get() != static_cast<IUnknown*>(&outer));
    outer.inner = inner.get();

    // An interface of the inner object counts on the outer object...
    ComPtr<IUnknown> defaultInterface;
    REQUIRE(inner.query(c.defaultInterface, defaultInterface) == S_OK);
    CHECK(outer.references == 2);

    // ...and its IUnknown is the outer object's.
    ComPtr<IUnknown> identity;
    REQUIRE(defaultInterface.query(IID_IUnknown, identity) == S_OK);
    CHECK(identity.get() == static_cast<IUnknown*>(&outer));
    identity.reset();
    defaultInterface.reset();
    CHECK(outer.references == 1);

    // The inner object's own IUnknown counts on the inner object.
    CHECK(inner->AddRef() == 2);
    CHECK(inner->Release() == 1);
    outer.inner = nullptr;
    inner.reset();
    CHECK(server.canUnloadNow() == S_OK);
  }
}
