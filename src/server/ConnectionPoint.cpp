#include "server/ConnectionPoint.h"

#include <atomic>

#include "server/ErrorBoundary.h"
#include "support/Variant.h"

namespace korvane {

namespace {

// QueryInterface of a companion object that answers IUnknown and its one
// interface with itself, and nothing else.
template <class Interface>
HRESULT answerOnly(Interface* self, REFIID own, REFIID iid, void** ppv) {
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, own)) {
    self->AddRef();
    *ppv = self;
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

// The cached event interface: hands every event to the sink and reports
// success whatever the sink answered, so that a failing sink cannot disturb
// the method that sends the event.
class EventForwarder final : public IDispatch {
 public:
  EventForwarder(ComPtr<IDispatch> sink, const IID& eventInterface)
      : sink_(std::move(sink)), eventInterface_(eventInterface) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, eventInterface_)) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    return sink_->QueryInterface(iid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = --references_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override { return sink_->GetTypeInfoCount(count); }
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return sink_->GetTypeInfo(index, locale, info);
  }
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
    return sink_->GetIDsOfNames(iid, names, count, locale, ids);
  }
  STDMETHODIMP Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argumentError) override {
    // Deliberately not passed on: see the class comment.
    [[maybe_unused]] HRESULT ignored =
        sink_->Invoke(member, iid, locale, flags, params, result, exception, argumentError);
    return S_OK;
  }

 private:
  std::atomic<LONG> references_{1};
  ComPtr<IDispatch> sink_;
  const IID eventInterface_;
};

// Enumerates the sinks of a connection point from a snapshot of its slot
// count. Holds a reference on the object for as long as it lives.
class ConnectionsEnumerator final : public IEnumConnections {
 public:
  ConnectionsEnumerator(const ConnectionPoint& point, size_t position)
      : point_(point), position_(position), snapshot_(point.slots().size()) {
    point_.owner().AddRef();
  }
  ~ConnectionsEnumerator() { point_.owner().Release(); }

  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
    return answerOnly<IEnumConnections>(this, IID_IEnumConnections, iid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = --references_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  STDMETHODIMP Next(ULONG wanted, CONNECTDATA* entries, ULONG* fetched) override {
    ULONG filled = 0;
    walk(wanted, [&](const ComPtr<IUnknown>& sink, size_t index) {
      entries[filled].pUnk = ComPtr<IUnknown>(sink).detach();
      entries[filled].dwCookie = static_cast<DWORD>(index + 1);
      ++filled;
    });
    if (fetched) *fetched = filled;
    return filled == wanted ? S_OK : S_FALSE;
  }

  STDMETHODIMP Skip(ULONG count) override {
    ULONG skipped = 0;
    walk(count, [&](const ComPtr<IUnknown>&, size_t) { ++skipped; });
    return skipped == count ? S_OK : S_FALSE;
  }

  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }

  STDMETHODIMP Clone(IEnumConnections** clone) override {
    *clone = nullptr;
    return callReturningOnFailure(E_OUTOFMEMORY, [&] {
      *clone = new ConnectionsEnumerator(point_, position_);
      return S_OK;
    });
  }

 private:
  // Visits up to `count` connected sinks from the position, passing over
  // empty slots; the position advances over every slot visited.
  template <class Visit>
  void walk(ULONG count, Visit&& visit) {
    for (ULONG visited = 0; visited < count && position_ < snapshot_; ++position_) {
      const auto& sink = point_.slots()[position_];
      if (!sink) continue;
      visit(sink, position_);
      ++visited;
    }
  }

  std::atomic<LONG> references_{1};
  const ConnectionPoint& point_;
  size_t position_;
  const size_t snapshot_;
};

// Enumerates the container's connection points (none or one). It counts on
// the object, so holding it keeps the object alive; it frees itself once
// the client has released every reference it took.
class ConnectionPointsEnumerator final : public IEnumConnectionPoints {
 public:
  ConnectionPointsEnumerator(IUnknown& owner, ConnectionPoint* point, ULONG position)
      : owner_(owner), point_(point), position_(position) {
    owner_.AddRef();
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
    return answerOnly<IEnumConnectionPoints>(this, IID_IEnumConnectionPoints, iid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    ++ownReferences_;
    return owner_.AddRef();
  }
  STDMETHODIMP_(ULONG) Release() override {
    IUnknown& owner = owner_;
    if (--ownReferences_ == 0) delete this;
    return owner.Release();
  }

  STDMETHODIMP Next(ULONG wanted, IConnectionPoint** points, ULONG* fetched) override {
    ULONG filled = 0;
    while (filled < wanted && position_ < count()) {
      point_->AddRef();
      points[filled++] = point_;
      ++position_;
    }
    if (fetched) *fetched = filled;
    return filled == wanted ? S_OK : S_FALSE;
  }

  STDMETHODIMP Skip(ULONG skip) override {
    if (position_ + skip > count()) {
      position_ = count();
      return S_FALSE;
    }
    position_ += skip;
    return S_OK;
  }

  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }

  STDMETHODIMP Clone(IEnumConnectionPoints** clone) override {
    *clone = nullptr;
    return callReturningOnFailure(E_OUTOFMEMORY, [&] {
      *clone = new ConnectionPointsEnumerator(owner_, point_, position_);
      return S_OK;
    });
  }

 private:
  ULONG count() const { return point_ ? 1 : 0; }

  std::atomic<LONG> ownReferences_{1};
  IUnknown& owner_;
  ConnectionPoint* const point_;
  ULONG position_;
};

}  // namespace

ConnectionPoint::ConnectionPoint(IUnknown& owner, IConnectionPointContainer& container, const IID& eventInterface)
    : owner_(owner), container_(container), eventInterface_(eventInterface) {}

ConnectionPoint::~ConnectionPoint() {
  disconnectEvents();
  slots_.clear();
}

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID iid, void** ppv) {
  return answerOnly<IConnectionPoint>(this, IID_IConnectionPoint, iid, ppv);
}

STDMETHODIMP_(ULONG) ConnectionPoint::AddRef() {
  return owner_.AddRef();
}

STDMETHODIMP_(ULONG) ConnectionPoint::Release() {
  return owner_.Release();
}

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
  *iid = eventInterface_;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  *container = nullptr;
  container_.AddRef();
  *container = &container_;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!slots_.empty() && slots_.front()) return CONNECT_E_CANNOTCONNECT;
  if (!sink || !cookie) return E_POINTER;
  return callReturningOnFailure(E_OUTOFMEMORY, [&] { return connect(*sink, *cookie); });
}

HRESULT ConnectionPoint::connect(IUnknown& sink, DWORD& cookie) {
  ComPtr<IDispatch> sinkEvents;
  const HRESULT answered = sink.QueryInterface(eventInterface_, sinkEvents.putVoid());
  if (FAILED(answered)) return answered;
  if (!sinkEvents) return E_UNEXPECTED;

  // The wrapper keeps a reference of its own, asked of the sink once more.
  ComPtr<IDispatch> forwarded;
  const HRESULT wrapped = sink.QueryInterface(eventInterface_, forwarded.putVoid());
  if (FAILED(wrapped)) return wrapped;
  auto events = ComPtr<IDispatch>::adopt(new EventForwarder(std::move(forwarded), eventInterface_));

  size_t slot = 0;
  while (slot < slots_.size() && slots_[slot]) ++slot;
  if (slot == slots_.size()) slots_.emplace_back();

  // Nothing below can fail: the connection is made whole or not at all.
  sink_ = std::move(sinkEvents);
  events_ = std::move(events);
  slots_[slot] = ComPtr<IUnknown>(&sink);
  cookie = static_cast<DWORD>(slot + 1);
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
  if (cookie == 0 || cookie > slots_.size() || !slots_[cookie - 1]) return CONNECT_E_NOCONNECTION;
  disconnectEvents();
  // Released last, after the slot is empty: the sink may call back into us.
  ComPtr<IUnknown> sink = std::move(slots_[cookie - 1]);
  slots_[cookie - 1] = nullptr;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** connections) {
  *connections = nullptr;
  return callReturningOnFailure(E_UNEXPECTED, [&] {
    *connections = new ConnectionsEnumerator(*this, 0);
    return S_OK;
  });
}

void ConnectionPoint::disconnectEvents() {
  sink_.reset();
  events_.reset();
}

EventConnection::EventConnection(IUnknown& owner, IConnectionPointContainer& container, const IID& eventInterface)
    : owner_(owner) {
  if (!IsEqualIID(eventInterface, GUID_NULL)) point_.emplace(owner, container, eventInterface);
}

HRESULT EventConnection::enumConnectionPoints(IEnumConnectionPoints** points) {
  *points = nullptr;
  return callReturningOnFailure(E_UNEXPECTED, [&] {
    *points = new ConnectionPointsEnumerator(owner_, point_ ? &*point_ : nullptr, 0);
    return S_OK;
  });
}

HRESULT EventConnection::findConnectionPoint(REFIID iid, IConnectionPoint** point) {
  *point = nullptr;
  if (!point_ || !IsEqualIID(iid, point_->eventInterface())) return CONNECT_E_NOCONNECTION;
  point_->AddRef();
  *point = &*point_;
  return S_OK;
}

void EventConnection::send(DISPID member, DISPPARAMS& arguments) {
  if (!point_) return;
  // Held for the call: the handler may disconnect the sink meanwhile.
  ComPtr<IDispatch> events = point_->events();
  if (!events) return;
  Variant result;
  EXCEPINFO exception{};
  [[maybe_unused]] HRESULT alwaysSucceeds =
      events->Invoke(member, IID_NULL, 0, DISPATCH_METHOD, &arguments, result.get(), &exception, nullptr);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
}

}  // namespace korvane
