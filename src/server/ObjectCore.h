// The behaviour every Korvane object shows at the COM boundary: identity and
// reference counting (with aggregation), ISupportErrorInfo, IProvideClassInfo,
// and for the automation classes IDispatch served from the type library and
// a connection-point container with the class's event interface.
//
//   class TCKorvane : public TypedObject<ICKorvane> { ... };
//   class TCFileAccess : public AutomationObject<ICFileAccess> { ... };
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>
#include <atomic>

#include "server/ClassObject.h"
#include "server/ConnectionPoint.h"
#include "server/ErrorBoundary.h"

namespace korvane {

class ObjectCore {
 public:
  ObjectCore(const ObjectCore&) = delete;
  ObjectCore& operator=(const ObjectCore&) = delete;

  // The object's own IUnknown: it always acts on this object, also when the
  // object is part of an aggregate.
  IUnknown* ownUnknown() { return &own_; }
  ClassObject& classObject() const { return class_; }

  // Ends construction: the count held at 1 while the class initialised goes
  // back to 0, and the requested interface takes the first real reference.
  // An object that nobody took is destroyed again at once.
  HRESULT handOut(REFIID iid, void** ppv);

 protected:
  ObjectCore(ClassObject& classObject, IUnknown* outer);
  virtual ~ObjectCore();

  // What the object's interfaces delegate IUnknown to: the outer object of an
  // aggregate, otherwise the object's own IUnknown.
  IUnknown* controllingUnknown() { return outer_ ? outer_ : &own_; }
  // The object's table of interfaces: the pointer for an IID it answers, else null.
  virtual void* findInterface(REFIID iid) = 0;

  // The error boundaries of the class's methods (see ErrorBoundary.h).
  template <class Body>
  HRESULT reportingHResult(Body&& body) noexcept {
    return callReportingHResult(class_.errorSource(), body);
  }
  template <class Body>
  VARIANT_BOOL reportingBool(Body&& body) noexcept {
    return callReportingBool(class_.errorSource(), body);
  }

 private:
  class OwnUnknown final : public IUnknown {
   public:
    explicit OwnUnknown(ObjectCore& object) : object_(object) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

   private:
    ObjectCore& object_;
  };

  std::atomic<LONG> references_{1};
  IUnknown* const outer_;  // not counted: the outer object owns us
  ClassObject& class_;
  OwnUnknown own_{*this};
};

// The interfaces of every object: its own interface, ISupportErrorInfo and
// IProvideClassInfo, plus any the object kind adds (More...). IUnknown of all
// of them delegates to the controlling unknown.
template <class Interface, class... More>
class ServerObject : public Interface,
                     public ISupportErrorInfo,
                     public IProvideClassInfo,
                     public More...,
                     public ObjectCore {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
    return controllingUnknown()->QueryInterface(iid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return controllingUnknown()->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return controllingUnknown()->Release(); }

  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override {
    return findInterface(iid) ? S_OK : S_FALSE;
  }

  STDMETHODIMP GetClassInfo(ITypeInfo** info) override {
    ITypeInfo* coclass = classObject().coclassInfo();
    coclass->AddRef();
    *info = coclass;
    return S_OK;
  }

 protected:
  ServerObject(ClassObject& classObject, IUnknown* outer) : ObjectCore(classObject, outer) {}

  void* findInterface(REFIID iid) override {
    if (IsEqualIID(iid, IID_IUnknown)) return ownUnknown();
    if (IsEqualIID(iid, classObject().defaultInterface())) return static_cast<Interface*>(this);
    if (IsEqualIID(iid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
    if (IsEqualIID(iid, IID_IProvideClassInfo)) return static_cast<IProvideClassInfo*>(this);
    return nullptr;
  }
};

// A plain object behind one custom interface: no IDispatch, no events.
template <class Interface>
class TypedObject : public ServerObject<Interface> {
 protected:
  TypedObject(ClassObject& classObject, IUnknown* outer) : ServerObject<Interface>(classObject, outer) {}
};

// Late-bound calls through the dispatch description of a dual interface.
namespace dispatch {
HRESULT typeInfoCount(UINT* count);
HRESULT typeInfo(ITypeInfo* dispatchInfo, UINT index, ITypeInfo** info);
HRESULT idsOfNames(ITypeInfo* dispatchInfo, LPOLESTR* names, UINT count, DISPID* ids);
HRESULT invoke(ITypeInfo* dispatchInfo, IDispatch* instance, DISPID member, WORD flags,
               DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception, UINT* argumentError);
}  // namespace dispatch

// An object behind one dual interface, with IDispatch driven by the type
// library and one connection point for the class's event interface.
template <class Interface>
class AutomationObject : public ServerObject<Interface, IConnectionPointContainer> {
  using Base = ServerObject<Interface, IConnectionPointContainer>;

 public:
  STDMETHODIMP GetTypeInfoCount(UINT* count) override { return dispatch::typeInfoCount(count); }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    return dispatch::typeInfo(dispatchInfo(), index, info);
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return dispatch::idsOfNames(dispatchInfo(), names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argumentError) override {
    return dispatch::invoke(dispatchInfo(), static_cast<Interface*>(this), member, flags, params, result,
                            exception, argumentError);
  }

  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override {
    return events_.enumConnectionPoints(points);
  }
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    return events_.findConnectionPoint(iid, point);
  }

 protected:
  AutomationObject(ClassObject& classObject, IUnknown* outer)
      : Base(classObject, outer),
        events_(*this->ownUnknown(), *static_cast<IConnectionPointContainer*>(this),
                classObject.eventInterface()) {}

  void* findInterface(REFIID iid) override {
    if (IsEqualIID(iid, IID_IDispatch)) return static_cast<IDispatch*>(static_cast<Interface*>(this));
    if (IsEqualIID(iid, IID_IConnectionPointContainer)) return static_cast<IConnectionPointContainer*>(this);
    return Base::findInterface(iid);
  }

  // Sends one event to the connected sink; nothing happens without one.
  void sendEvent(DISPID member, DISPPARAMS& arguments) { events_.send(member, arguments); }

 private:
  ITypeInfo* dispatchInfo() const { return this->classObject().dispatchInfo(); }

  EventConnection events_;
};

}  // namespace korvane
