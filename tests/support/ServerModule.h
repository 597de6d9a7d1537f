// Test access to the built Korvane.dll without registration: the DLL loaded
// into the test process and its four entry points.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <optional>

namespace korvane::test {

// COM initialised for the calling thread (apartment-threaded) for a scope.
class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
};

// Korvane.dll loaded into an apartment of the test's thread. COM is
// uninitialised before the DLL is freed, so that nothing the platform still
// holds (a lock on a class object, say) is released into an unloaded DLL.
class ServerModule {
 public:
  ServerModule();
  ~ServerModule();
  ServerModule(const ServerModule&) = delete;
  ServerModule& operator=(const ServerModule&) = delete;

  HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** ppv) const { return getClassObject_(clsid, iid, ppv); }
  HRESULT canUnloadNow() const { return canUnloadNow_(); }
  HRESULT registerServer() const { return registerServer_(); }
  HRESULT unregisterServer() const { return unregisterServer_(); }

  // A new object of the class, through its class object, asked for iid.
  HRESULT create(REFCLSID clsid, REFIID iid, void** ppv, IUnknown* outer = nullptr) const;

  template <class Interface>
  HRESULT create(REFCLSID clsid, REFIID iid, Interface** object) const {
    return create(clsid, iid, reinterpret_cast<void**>(object));
  }

 private:
  std::optional<ComApartment> apartment_;
  HMODULE module_;
  HRESULT(STDAPICALLTYPE* getClassObject_)(REFCLSID, REFIID, void**);
  HRESULT(STDAPICALLTYPE* canUnloadNow_)();
  HRESULT(STDAPICALLTYPE* registerServer_)();
  HRESULT(STDAPICALLTYPE* unregisterServer_)();
};

}  // namespace korvane::test
