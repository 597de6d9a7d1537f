// TransferWithProgress write <connection> <table> <field> <file>
// TransferWithProgress read <connection> <table> <field> <key field> <key> <file>
//
// Moves a file into a binary field of a new database row, or a row's field
// back into a file, with Korvane.CInOutFileDB, and draws a progress bar from
// the object's OnPercentComplete events. The program connects its own event
// sink through IConnectionPointContainer and IConnectionPoint::Advise, as a
// Visual Basic program declaring the object WithEvents would. A key that is
// a whole number goes as a number, any other key as text (put a text key in
// apostrophes: 'abc'). Korvane.dll must be registered.
//
//   TransferWithProgress write "DRIVER={SQLite3};Database=/data/files.db" Files Data photo.jpg
//   TransferWithProgress read "DRIVER={SQLite3};Database=/data/files.db" Files Data Id 1 copy.jpg
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <oleauto.h>
#include <ocidl.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

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

OwnedBstr bstr(const wchar_t* text) { return OwnedBstr(SysAllocString(text)); }

std::string narrow(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string result(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, result.data(), size, nullptr, nullptr);
  return result;
}

struct TransferFailure {
  std::string message;
};

void check(HRESULT result, const char* what) {
  if (FAILED(result)) {
    char text[128];
    std::snprintf(text, sizeof text, "%s failed (0x%08lX)", what, static_cast<unsigned long>(result));
    throw TransferFailure{text};
  }
}

// A progress bar on standard output. On a console it is redrawn in place;
// into a pipe or a file it grows by appending, so that a log shows one clean
// line.
class ProgressBar {
 public:
  ProgressBar() {
    DWORD mode = 0;
    onConsole_ = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
  }

  void show(long percentage) {
    percentage_ = percentage;
    const int filled = static_cast<int>(percentage * width / 100);
    if (onConsole_) {
      std::printf("\r  [%s%s] %3ld%%", std::string(filled, '#').c_str(),
                  std::string(width - filled, '.').c_str(), percentage);
    } else {
      if (!started_) std::printf("  [");
      std::printf("%s", std::string(filled > drawn_ ? filled - drawn_ : 0, '#').c_str());
    }
    started_ = true;
    if (filled > drawn_) drawn_ = filled;
    std::fflush(stdout);
  }

  void end() {
    if (!onConsole_ && started_) std::printf("%s] %3ld%%", std::string(width - drawn_, '.').c_str(), percentage_);
    if (started_) std::printf("\n");
  }

 private:
  static constexpr int width = 50;
  bool onConsole_ = false;
  bool started_ = false;
  int drawn_ = 0;
  long percentage_ = 0;
};

// The event sink: an IDispatch that CInOutFileDB calls for each event of
// ICInOutFileDBEvents. OnPercentComplete is DISPID 1 with two arguments in
// reverse order: rgvarg[1] the percentage (VT_I4) and rgvarg[0] the Cancel
// flag (VT_BOOL | VT_BYREF), which a sink may set to stop the transfer.
class ProgressSink final : public IDispatch {
 public:
  explicit ProgressSink(ProgressBar& bar) : bar_(bar) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, DIID_ICInOutFileDBEvents)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // The sink lives on main's stack, longer than any reference Korvane holds.
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override { return --references_; }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    *info = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }

  STDMETHODIMP Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* arguments, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    if (member != DISPID_OnPercentComplete) return DISP_E_MEMBERNOTFOUND;
    if (arguments->cArgs != 2 || V_VT(&arguments->rgvarg[1]) != VT_I4) return DISP_E_TYPEMISMATCH;
    bar_.show(V_I4(&arguments->rgvarg[1]));
    return S_OK;
  }

 private:
  ProgressBar& bar_;
  ULONG references_ = 0;
};

// The sink connected to an object's event connection point for a scope.
class EventConnection {
 public:
  EventConnection(IUnknown& object, IDispatch& sink) {
    IConnectionPointContainer* container = nullptr;
    check(object.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)),
          "IConnectionPointContainer");
    const Ref<IConnectionPointContainer> owned(container);
    IConnectionPoint* point = nullptr;
    check(container->FindConnectionPoint(DIID_ICInOutFileDBEvents, &point), "FindConnectionPoint");
    point_.reset(point);
    check(point_->Advise(&sink, &cookie_), "Advise");
  }
  ~EventConnection() { point_->Unadvise(cookie_); }
  EventConnection(const EventConnection&) = delete;
  EventConnection& operator=(const EventConnection&) = delete;

 private:
  Ref<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

Ref<ICInOutFileDB> createTransferObject() {
  CLSID clsid{};
  check(CLSIDFromProgID(L"Korvane.CInOutFileDB", &clsid), "Korvane.CInOutFileDB is not registered: CLSIDFromProgID");
  ICInOutFileDB* created = nullptr;
  check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ICInOutFileDB, reinterpret_cast<void**>(&created)),
        "CoCreateInstance");
  return Ref<ICInOutFileDB>(created);
}

// A whole number as VT_I4, anything else as text.
VARIANT keyFrom(const wchar_t* text) {
  VARIANT key;
  VariantInit(&key);
  wchar_t* end = nullptr;
  const long number = std::wcstol(text, &end, 10);
  if (*text && !*end) {
    V_VT(&key) = VT_I4;
    V_I4(&key) = number;
  } else {
    V_VT(&key) = VT_BSTR;
    V_BSTR(&key) = SysAllocString(text);
  }
  return key;
}

double fileSize(const wchar_t* name) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(name, GetFileExInfoStandard, &data)) return 0;
  return static_cast<double>((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

// The methods return true or false; a false that comes with an error object
// is a failure, and its description says why.
std::string outcome(VARIANT_BOOL result) {
  if (result) return "done";
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || !info) return "nothing to transfer (result false)";
  const Ref<IErrorInfo> owned(info);
  BSTR description = nullptr;
  info->GetDescription(&description);
  const OwnedBstr text(description);
  return "failed: " + narrow(text ? text.get() : L"");
}

int run(int argc, wchar_t** argv) {
  const bool writing = argc == 6 && std::wcscmp(argv[1], L"write") == 0;
  const bool reading = argc == 8 && std::wcscmp(argv[1], L"read") == 0;
  if (!writing && !reading) {
    std::fprintf(stderr,
                 "usage: TransferWithProgress write <connection> <table> <field> <file>\n"
                 "       TransferWithProgress read <connection> <table> <field> <key field> <key> <file>\n");
    return 2;
  }
  const auto connection = bstr(argv[2]), table = bstr(argv[3]), field = bstr(argv[4]);
  const auto file = bstr(argv[writing ? 5 : 7]);
  constexpr long bufferSize = 4096;

  const Ref<ICInOutFileDB> transfer = createTransferObject();
  ProgressBar bar;
  ProgressSink sink(bar);
  VARIANT_BOOL result = VARIANT_FALSE;
  const auto started = std::chrono::steady_clock::now();
  {
    const EventConnection events(*transfer, sink);
    if (writing) {
      // IDField left at its default and ID missing: a new row.
      VARIANT missing;
      VariantInit(&missing);
      V_VT(&missing) = VT_ERROR;
      V_ERROR(&missing) = DISP_E_PARAMNOTFOUND;
      const auto defaultKeyField = bstr(L"ID");
      result = transfer->WriteFileToDatabase(connection.get(), file.get(), bufferSize, table.get(), field.get(),
                                             defaultKeyField.get(), missing);
    } else {
      VARIANT key = keyFrom(argv[6]);
      const auto keyField = bstr(argv[5]);
      result = transfer->ReadFileFromDatabase(connection.get(), file.get(), bufferSize, table.get(), field.get(),
                                              keyField.get(), key);
      VariantClear(&key);
    }
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
  bar.end();
  std::printf("  %s in %.2f s", outcome(result).c_str(), elapsed.count());
  if (result && elapsed.count() > 0) std::printf(" (%.0f MiB/s)", fileSize(file.get()) / 1048576.0 / elapsed.count());
  std::printf("\n");
  return result ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // "\n" alone ends a line, also when the output goes to a pipe.
  _setmode(_fileno(stdout), _O_BINARY);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int exitCode = 1;
  try {
    exitCode = run(argc, argv);
  } catch (const TransferFailure& failure) {
    std::fprintf(stderr, "TransferWithProgress: %s\n", failure.message.c_str());
  }
  CoUninitialize();
  return exitCode;
}
