// The four entry points through which COM finds, registers and unloads the
// server, and DllMain.
#include <windows.h>
#include <objbase.h>

#include "classes/Classes.h"
#include "server/Registration.h"
#include "server/ServerState.h"

using korvane::ServerState;

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      DisableThreadLibraryCalls(module);
      ServerState::attach(module, korvane::serverClasses());
      break;
    case DLL_PROCESS_DETACH:
      // At process exit (reserved set) the platform's own libraries may be
      // gone already: only an unload by FreeLibrary tears the server down.
      if (!reserved) ServerState::detach();
      break;
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
  *ppv = nullptr;
  return korvane::callReturningOnFailure(E_UNEXPECTED, [&] {
    korvane::ClassObject* classObject = ServerState::get().find(clsid);
    if (!classObject) return CLASS_E_CLASSNOTAVAILABLE;
    return classObject->QueryInterface(iid, ppv);
  });
}

STDAPI DllCanUnloadNow() {
  const ServerState* server = ServerState::running();
  return !server || server->canUnload() ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
  try {
    korvane::registerServer(ServerState::get());
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

STDAPI DllUnregisterServer() {
  try {
    korvane::unregisterServer(ServerState::get());
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}
