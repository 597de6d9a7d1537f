// CopyFile <source> <target>
// Copies a file with two Korvane.CFileAccess objects, early-bound through
// ICFileAccess as declared in Korvane_TLB.h: Reset opens the source, Rewrite
// creates (or empties) the target, and BlockRead and BlockWrite move the
// bytes through this program's own buffer. Korvane.dll must be registered.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "Korvane_TLB.h"

namespace {

struct Releaser {
  void operator()(IUnknown* object) const { object->Release(); }
};
template <class Interface>
using Ref = std::unique_ptr<Interface, Releaser>;

struct BstrFreer {
  void operator()(BSTR text) const { SysFreeString(text); }
};
using OwnedBstr = std::unique_ptr<OLECHAR, BstrFreer>;

struct CopyFailure {
  std::wstring message;
};

// A failed call of CFileAccess leaves an error object whose description
// is the reason, such as "File not found".
void check(HRESULT result, const wchar_t* what) {
  if (SUCCEEDED(result)) return;
  wchar_t code[16];
  std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(result));
  std::wstring reason = code;
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    BSTR description = nullptr;
    if (SUCCEEDED(info->GetDescription(&description)) && description) reason = description;
    SysFreeString(description);
    info->Release();
  }
  throw CopyFailure{std::wstring(what) + L": " + reason};
}

Ref<ICFileAccess> openFile(const wchar_t* name, bool create) {
  ICFileAccess* created = nullptr;
  check(CoCreateInstance(CLSID_CFileAccess, nullptr, CLSCTX_INPROC_SERVER, IID_ICFileAccess,
                         reinterpret_cast<void**>(&created)),
        L"Korvane.CFileAccess");
  Ref<ICFileAccess> file(created);
  const OwnedBstr fileName(SysAllocString(name));
  check(file->put_FileName(fileName.get()), L"FileName");
  VARIANT_BOOL opened = VARIANT_FALSE;
  check(create ? file->Rewrite(&opened) : file->Reset(&opened), create ? L"Rewrite" : L"Reset");
  return file;
}

// Returns the number of bytes copied.
long long copy(const wchar_t* sourceName, const wchar_t* targetName) {
  const Ref<ICFileAccess> source = openFile(sourceName, false);
  const Ref<ICFileAccess> target = openFile(targetName, true);
  std::vector<char> block(64 * 1024);
  long long copied = 0;
  for (;;) {
    long read = 0;
    check(source->BlockRead(block.data(), static_cast<long>(block.size()), &read), L"BlockRead");
    if (read == 0) break;  // the end of the source
    long written = 0;
    check(target->BlockWrite(block.data(), read, &written), L"BlockWrite");
    if (written != read) throw CopyFailure{L"BlockWrite: the target took fewer bytes"};
    copied += written;
  }
  VARIANT_BOOL closed = VARIANT_FALSE;
  check(target->Close(&closed), L"Close");
  check(source->Close(&closed), L"Close");
  return copied;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: CopyFile <source> <target>\n");
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int exitCode = 0;
  try {
    std::printf("Copied %lld bytes\n", copy(argv[1], argv[2]));
  } catch (const CopyFailure& failure) {
    std::fwprintf(stderr, L"CopyFile: %ls\n", failure.message.c_str());
    exitCode = 1;
  }
  CoUninitialize();
  return exitCode;
}
