#include "ServerModule.h"

#include <stdexcept>

#include "TestSupport.h"

namespace korvane::test {

namespace {

template <class Function>
Function entryPoint(HMODULE module, const char* name) {
  auto address = GetProcAddress(module, name);
  if (!address) throw std::runtime_error(std::string("Korvane.dll does not export ") + name);
  return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

}  // namespace

ServerModule::ServerModule() : apartment_(std::in_place), module_(LoadLibraryW(dllPath().c_str())) {
  if (!module_) throw std::runtime_error("Korvane.dll cannot be loaded");
  getClassObject_ = entryPoint<decltype(getClassObject_)>(module_, "DllGetClassObject");
  canUnloadNow_ = entryPoint<decltype(canUnloadNow_)>(module_, "DllCanUnloadNow");
  registerServer_ = entryPoint<decltype(registerServer_)>(module_, "DllRegisterServer");
  unregisterServer_ = entryPoint<decltype(unregisterServer_)>(module_, "DllUnregisterServer");
}

ServerModule::~ServerModule() {
  apartment_.reset();
  FreeLibrary(module_);
}

HRESULT ServerModule::create(REFCLSID clsid, REFIID iid, void** ppv, IUnknown* outer) const {
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, iid, ppv);
  factory->Release();
  return hr;
}

ComApartment::ComApartment() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) throw std::runtime_error("CoInitializeEx failed");
}

ComApartment::~ComApartment() {
  CoUninitialize();
}

}  // namespace korvane::test
