// Event connection of an automation object: its single connection point
// (one sink at a time, cookie 1), the enumerators, and the forwarding wrapper
// through which the object sends events to the connected sink.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>
#include <optional>
#include <vector>

#include "support/ComPtr.h"

namespace korvane {

class ConnectionPoint final : public IConnectionPoint {
 public:
  // The point shares the reference count of `owner` (the object's own
  // IUnknown): a client that holds the point keeps the object alive.
  ConnectionPoint(IUnknown& owner, IConnectionPointContainer& container, const IID& eventInterface);
  ~ConnectionPoint();
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

  const IID& eventInterface() const { return eventInterface_; }
  // The forwarding wrapper around the connected sink, or null.
  const ComPtr<IDispatch>& events() const { return events_; }
  // The sink slots; a sink's cookie is its index plus one. Emptied slots stay.
  const std::vector<ComPtr<IUnknown>>& slots() const { return slots_; }
  IUnknown& owner() const { return owner_; }

 private:
  HRESULT connect(IUnknown& sink, DWORD& cookie);
  void disconnectEvents();

  IUnknown& owner_;
  IConnectionPointContainer& container_;
  const IID eventInterface_;
  std::vector<ComPtr<IUnknown>> slots_;
  ComPtr<IDispatch> sink_;    // the sink's event interface
  ComPtr<IDispatch> events_;  // the forwarding wrapper around it
};

// What an automation object holds for its events: the connection point of
// its event interface, if the class has one.
class EventConnection {
 public:
  EventConnection(IUnknown& owner, IConnectionPointContainer& container, const IID& eventInterface);

  HRESULT enumConnectionPoints(IEnumConnectionPoints** points);
  HRESULT findConnectionPoint(REFIID iid, IConnectionPoint** point);

  // Sends one event, with its arguments in reverse order, to the connected
  // sink; without a sink nothing is sent. The sink's answer is not reported:
  // an event never fails its sender. Arguments passed by reference carry
  // back whatever the sink stored in them.
  void send(DISPID member, DISPPARAMS& arguments);

 private:
  IUnknown& owner_;
  std::optional<ConnectionPoint> point_;
};

}  // namespace korvane
