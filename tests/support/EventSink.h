// A client-side event sink for tests: answers IUnknown, IDispatch and one
// event interface, records every event it receives, and can be told to set
// the by-reference Cancel flag, to fail, or to run a callback in the event.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <functional>
#include <vector>

namespace korvane::test {

class EventSink final : public IDispatch {
 public:
  explicit EventSink(const IID& eventInterface) : eventInterface_(eventInterface) {}

  struct Event {
    DISPID member;
    // Shallow copies in DISPPARAMS order (reversed); a by-reference argument
    // points into the sender's memory and is only valid inside the event.
    std::vector<VARIANT> arguments;
    // How the sender packed the call.
    IID iid;
    LCID locale;
    WORD flags;
    UINT namedArguments;
    bool emptyResult;        // a result VARIANT was given, and it was empty
    bool zeroedException;    // an EXCEPINFO was given, all zero
    bool argumentErrorSlot;  // an argument-error slot was given
    // What a by-reference Cancel held when the event arrived.
    VARIANT_BOOL cancelOnArrival;
  };

  // The percentages of every OnPercentComplete received, in order.
  std::vector<long> percentages() const;
  const std::vector<Event>& events() const { return events_; }
  LONG references() const { return references_; }
  void forgetEvents() { events_.clear(); }

  // Called inside each event with its index and the Cancel flag.
  std::function<void(size_t index, VARIANT_BOOL* cancel)> onEvent;
  // What Invoke returns to the sender (the sender must not care).
  HRESULT invokeResult = S_OK;
  // Set true to make QueryInterface refuse the event interface.
  bool refuseEventInterface = false;

  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override { return --references_; }  // lives on the test's stack

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    *info = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argumentError) override;

 private:
  IID eventInterface_;
  LONG references_ = 0;
  std::vector<Event> events_;
};

}  // namespace korvane::test
