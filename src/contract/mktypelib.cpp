// placeholder: writes an empty library named Korvane
#include <windows.h>
#include <oleauto.h>
#include <cstdio>
int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  CoInitialize(nullptr);
  ICreateTypeLib2* lib = nullptr;
  HRESULT hr = CreateTypeLib2(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, argv[1], &lib);
  if (FAILED(hr)) { fprintf(stderr, "CreateTypeLib2 %lx\n", hr); return 1; }
  lib->SetName(const_cast<LPOLESTR>(L"Korvane"));
  hr = lib->SaveAllChanges();
  lib->Release();
  if (FAILED(hr)) { fprintf(stderr, "SaveAllChanges %lx\n", hr); return 1; }
  return 0;
}
