// The exported entry points and the class objects, used the way COM uses
// them: DllGetClassObject, IClassFactory, and the unload rule.
#include <windows.h>
#include <doctest/doctest.h>

#include "Korvane_TLB.h"
#include "ServerModule.h"
#include "support/ComPtr.h"

using korvane::ComPtr;
using korvane::test::ServerModule;

namespace {

struct ClassCase {
  const char* name;
  const CLSID& clsid;
  const IID& defaultInterface;
};

const ClassCase classes[] = {
    {"CKorvane", CLSID_CKorvane, IID_ICKorvane},
    {"CInOutFileDB", CLSID_CInOutFileDB, IID_ICInOutFileDB},
    {"CFileAccess", CLSID_CFileAccess, IID_ICFileAccess},
};

ComPtr<IClassFactory> classFactory(const ServerModule& server, REFCLSID clsid) {
  ComPtr<IClassFactory> factory;
  REQUIRE(server.getClassObject(clsid, IID_IClassFactory, factory.putVoid()) == S_OK);
  return factory;
}

void* const garbage = reinterpret_cast<void*>(0x1234);

}  // namespace

TEST_CASE("a freshly loaded server may be unloaded") {
  ServerModule server;
  CHECK(server.canUnloadNow() == S_OK);
}

TEST_CASE("DllGetClassObject hands out class objects for the three classes only") {
  ServerModule server;

  SUBCASE("a known class object keeps the server loaded while it is held") {
    for (const auto& c : classes) {
      CAPTURE(c.name);
      ComPtr<IUnknown> unknown;
      CHECK(server.getClassObject(c.clsid, IID_IUnknown, unknown.putVoid()) == S_OK);
      CHECK(server.canUnloadNow() == S_FALSE);
      unknown.reset();
      CHECK(server.canUnloadNow() == S_OK);
    }
  }

  SUBCASE("an unknown CLSID") {
    void* object = garbage;
    CHECK(server.getClassObject(IID_IDispatch, IID_IClassFactory, &object) == CLASS_E_CLASSNOTAVAILABLE);
    CHECK(object == nullptr);
  }

  SUBCASE("an interface a class object does not answer") {
    void* object = garbage;
    CHECK(server.getClassObject(CLSID_CFileAccess, IID_IDispatch, &object) == E_NOINTERFACE);
    CHECK(object == nullptr);
    CHECK(server.canUnloadNow() == S_OK);
  }

  SUBCASE("the three class objects share one reference count") {
    auto first = classFactory(server, CLSID_CKorvane);
    auto second = classFactory(server, CLSID_CFileAccess);
    CHECK(first->AddRef() == 3);
    CHECK(second->Release() == 2);
    CHECK(first->Release() == 1);
  }
}

TEST_CASE("CreateInstance builds objects that keep the server loaded until released") {
  ServerModule server;

  for (const auto& c : classes) {
    CAPTURE(c.name);
    ComPtr<IUnknown> object;
    {
      auto factory = classFactory(server, c.clsid);
      CHECK(factory->CreateInstance(nullptr, c.defaultInterface, object.putVoid()) == S_OK);
      CHECK(object);
    }
    CHECK(server.canUnloadNow() == S_FALSE);
    object.reset();
    CHECK(server.canUnloadNow() == S_OK);
  }
}

TEST_CASE("CreateInstance refuses what it cannot build") {
  ServerModule server;
  auto factory = classFactory(server, CLSID_CFileAccess);

  SUBCASE("an interface the object does not answer leaves no object behind") {
    void* object = garbage;
    CHECK(factory->CreateInstance(nullptr, IID_IPersist, &object) == E_NOINTERFACE);
    CHECK(object == nullptr);
    factory.reset();
    CHECK(server.canUnloadNow() == S_OK);
  }

  SUBCASE("no place for the result") {
    CHECK(factory->CreateInstance(nullptr, IID_IUnknown, nullptr) == E_POINTER);
  }

  SUBCASE("aggregation asks for anything but IUnknown") {
    IUnknown* outer = reinterpret_cast<IUnknown*>(garbage);  // never called
    void* object = garbage;
    CHECK(factory->CreateInstance(outer, IID_ICFileAccess, &object) == CLASS_E_NOAGGREGATION);
    CHECK(object == nullptr);
  }
}

TEST_CASE("LockServer holds the server until it is unlocked") {
  ServerModule server;
  auto factory = classFactory(server, CLSID_CInOutFileDB);
  IClassFactory* raw = factory.detach();  // so that only the lock can hold the server

  SUBCASE("lock, then unlock") {
    CHECK(raw->LockServer(TRUE) == S_OK);
    raw->Release();
    CHECK(server.canUnloadNow() == S_FALSE);
    CHECK(raw->LockServer(FALSE) == S_OK);
    CHECK(server.canUnloadNow() == S_OK);
  }

  SUBCASE("an unmatched unlock holds the server until a lock balances it") {
    raw->Release();
    raw->LockServer(FALSE);
    CHECK(server.canUnloadNow() == S_FALSE);
    raw->LockServer(TRUE);
    // The object count is balanced again; the platform's own lock, which
    // holds a reference on the class object, is let go directly.
    CHECK(CoLockObjectExternal(raw, FALSE, TRUE) == S_OK);
    CHECK(server.canUnloadNow() == S_OK);
  }
}
