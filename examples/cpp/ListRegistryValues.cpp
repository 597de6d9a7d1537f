// Lists the values of a key under HKEY_CURRENT_USER, then the computer name,
// through Korvane's CKorvane class, bound early with Korvane_TLB.h.
//
//   ListRegistryValues [sub-key of HKEY_CURRENT_USER]    (default: Control Panel\Desktop)
//
// Korvane.dll must be registered (regsvr32 Korvane.dll).
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Korvane_TLB.h"

namespace {

// A BSTR as text of the ANSI code page. For a value's data this gives back
// the data bytes: CKorvane made one character of each byte through the same
// code page.
std::string ansi(BSTR text) {
  const int length = static_cast<int>(SysStringLen(text));
  if (length == 0) return {};
  std::string result(WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, length, result.data(), static_cast<int>(result.size()), nullptr, nullptr);
  return result;
}

void printData(long type, const std::string& data) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      std::printf("%s\n", data.c_str());  // the data ends with the string's zero byte
      break;
    case REG_DWORD: {
      DWORD number = 0;
      std::memcpy(&number, data.data(), data.size() < sizeof number ? data.size() : sizeof number);
      std::printf("%lu\n", number);
      break;
    }
    default: {
      const char* separator = "";
      for (const unsigned char byte : data) {
        std::printf("%s%02x", separator, byte);
        separator = " ";
      }
      std::printf("\n");
    }
  }
}

// Prints every value of the key; false when the key cannot be read.
bool listValues(ICKorvane& korvane, BSTR subKey) {
  // The interface takes the key handle as a long; on Win64 it is sign-extended
  // back, as the predefined keys are defined there.
  const long currentUser = static_cast<long>(reinterpret_cast<LONG_PTR>(HKEY_CURRENT_USER));
  std::printf("HKEY_CURRENT_USER\\%s\n", ansi(subKey).c_str());
  for (long index = 0;; ++index) {
    BSTR name = nullptr, value = nullptr;
    long type = REG_NONE;
    const long code = korvane.RegEnumValue(currentUser, subKey, index, &name, &type, &value);
    if (code == ERROR_SUCCESS) {
      std::printf("  %s (type %ld) = ", name ? ansi(name).c_str() : "(default)", type);
      printData(type, ansi(value));
    } else if (code == ERROR_MORE_DATA) {
      std::printf("  value %ld: name or data longer than 255 bytes\n", index);
    }
    SysFreeString(name);
    SysFreeString(value);
    if (code == ERROR_NO_MORE_ITEMS) return true;
    if (code != ERROR_SUCCESS && code != ERROR_MORE_DATA) {
      std::fprintf(stderr, "the key cannot be read: code %ld\n", code);
      return false;
    }
  }
}

void printComputerName(ICKorvane& korvane) {
  VARIANT name;  // an out parameter: CKorvane sets it without looking at it
  korvane.GetcomputerName(&name);
  std::printf("Computer name: %s\n", ansi(V_BSTR(&name)).c_str());
  VariantClear(&name);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const wchar_t* subKey = argc > 1 ? argv[1] : L"Control Panel\\Desktop";
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  ICKorvane* korvane = nullptr;
  const HRESULT hr = CoCreateInstance(CLSID_CKorvane, nullptr, CLSCTX_INPROC_SERVER, IID_ICKorvane,
                                      reinterpret_cast<void**>(&korvane));
  bool listed = false;
  if (SUCCEEDED(hr)) {
    BSTR subKeyName = SysAllocString(subKey);
    listed = listValues(*korvane, subKeyName);
    SysFreeString(subKeyName);
    printComputerName(*korvane);
    korvane->Release();
  } else {
    std::fprintf(stderr, "Korvane.CKorvane cannot be created (0x%08lx): is Korvane.dll registered?\n",
                 static_cast<unsigned long>(hr));
  }
  CoUninitialize();
  return listed ? 0 : 1;
}
