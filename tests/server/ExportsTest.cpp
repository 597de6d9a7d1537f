#include <windows.h>
#include <doctest/doctest.h>
#include "TestSupport.h"

TEST_CASE("the DLL exports the four COM entry points undecorated") {
  HMODULE module = LoadLibraryW(korvane::test::dllPath().c_str());
  REQUIRE(module != nullptr);
  for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"}) {
    CAPTURE(name);
    CHECK(reinterpret_cast<void*>(GetProcAddress(module, name)) != nullptr);
  }
  FreeLibrary(module);
}
