#include "EventSink.h"

namespace korvane::test {
namespace {

bool isZeroed(const EXCEPINFO& e) {
  return e.wCode == 0 && e.wReserved == 0 && !e.bstrSource && !e.bstrDescription && !e.bstrHelpFile &&
         e.dwHelpContext == 0 && !e.pvReserved && !e.pfnDeferredFillIn && e.scode == 0;
}

}  // namespace

std::vector<long> EventSink::percentages() const {
  std::vector<long> values;
  for (const auto& event : events_) {
    if (event.member == 1 && event.arguments.size() == 2) values.push_back(V_I4(&event.arguments[1]));
  }
  return values;
}

STDMETHODIMP EventSink::QueryInterface(REFIID iid, void** ppv) {
  const bool events = IsEqualIID(iid, eventInterface_) && !refuseEventInterface;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || events) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP EventSink::Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
  Event event{member,
              {},
              iid,
              locale,
              flags,
              params->cNamedArgs,
              result && V_VT(result) == VT_EMPTY,
              exception && isZeroed(*exception),
              argumentError != nullptr,
              VARIANT_FALSE};
  for (UINT i = 0; i < params->cArgs; ++i) event.arguments.push_back(params->rgvarg[i]);
  if (params->cArgs > 0 && V_VT(&params->rgvarg[0]) == (VT_BOOL | VT_BYREF)) {
    event.cancelOnArrival = *V_BOOLREF(&params->rgvarg[0]);
  }
  events_.push_back(event);
  if (onEvent && params->cArgs == 2 && V_VT(&params->rgvarg[0]) == (VT_BOOL | VT_BYREF)) {
    onEvent(events_.size() - 1, V_BOOLREF(&params->rgvarg[0]));
  }
  return invokeResult;
}

}  // namespace korvane::test
