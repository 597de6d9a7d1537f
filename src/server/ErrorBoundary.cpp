#include "server/ErrorBoundary.h"

#include "support/Bstr.h"
#include "support/ComPtr.h"

namespace korvane {

namespace {

HRESULT resultFor(const Failure& failure) {
  return FAILED(failure.code()) ? failure.code() : E_UNEXPECTED;
}

bool describe(ICreateErrorInfo& info, const Failure& failure, const ErrorSource& source) {
  // No help file: the server has none. Every failure has help context 0.
  return SUCCEEDED(info.SetGUID(source.guid)) &&
         SUCCEEDED(info.SetSource(Bstr(source.progId).get())) &&
         SUCCEEDED(info.SetDescription(Bstr(failure.message()).get())) &&
         SUCCEEDED(info.SetHelpContext(0));
}

}  // namespace

HRESULT publishFailure(const Failure& failure, const ErrorSource& source) noexcept {
  try {
    ComPtr<ICreateErrorInfo> created;
    if (FAILED(CreateErrorInfo(created.put()))) return E_UNEXPECTED;
    if (!describe(*created.get(), failure, source)) return E_UNEXPECTED;
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(created.query(IID_IErrorInfo, info))) SetErrorInfo(0, info.get());
    return resultFor(failure);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace korvane
