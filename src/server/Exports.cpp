#include <windows.h>
#include <objbase.h>

extern "C" {
STDAPI DllGetClassObject(REFCLSID, REFIID, void** ppv) { *ppv = nullptr; return CLASS_E_CLASSNOTAVAILABLE; }
STDAPI DllCanUnloadNow() { return S_OK; }
STDAPI DllRegisterServer() { return E_NOTIMPL; }
STDAPI DllUnregisterServer() { return E_NOTIMPL; }
}
