#include "server/ObjectCore.h"

#include "server/ServerState.h"

namespace korvane {

ObjectCore::ObjectCore(ClassObject& classObject, IUnknown* outer) : outer_(outer), class_(classObject) {
  class_.server().objectCreated();
}

ObjectCore::~ObjectCore() {
  class_.server().objectDestroyed();
}

HRESULT ObjectCore::handOut(REFIID iid, void** ppv) {
  references_ = 0;
  const HRESULT result = own_.QueryInterface(iid, ppv);
  if (references_ == 0) delete this;
  return result;
}

STDMETHODIMP ObjectCore::OwnUnknown::QueryInterface(REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  void* found = object_.findInterface(iid);
  *ppv = found;
  if (!found) return E_NOINTERFACE;
  // Every entry of the table starts with the IUnknown methods; for an
  // aggregated object all but this one add to the outer object's count.
  static_cast<IUnknown*>(found)->AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) ObjectCore::OwnUnknown::AddRef() {
  return static_cast<ULONG>(++object_.references_);
}

STDMETHODIMP_(ULONG) ObjectCore::OwnUnknown::Release() {
  const LONG left = --object_.references_;
  if (left == 0) {
    // References taken and dropped while the object tears itself down (a
    // released sink calling back, say) must not destroy it a second time.
    object_.references_ = 1;
    delete &object_;
  }
  return static_cast<ULONG>(left);
}

namespace dispatch {

HRESULT typeInfoCount(UINT* count) {
  *count = 1;
  return S_OK;
}

HRESULT typeInfo(ITypeInfo* dispatchInfo, UINT index, ITypeInfo** info) {
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  dispatchInfo->AddRef();
  *info = dispatchInfo;
  return S_OK;
}

HRESULT idsOfNames(ITypeInfo* dispatchInfo, LPOLESTR* names, UINT count, DISPID* ids) {
  return DispGetIDsOfNames(dispatchInfo, names, count, ids);
}

HRESULT invoke(ITypeInfo* dispatchInfo, IDispatch* instance, DISPID member, WORD flags,
               DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
  // A property assignment is offered as both put and put-by-reference, so
  // that clients reach the put of FileName whichever of the two they use.
  constexpr WORD assignment = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
  if (flags & assignment) flags = assignment;
  return dispatchInfo->Invoke(instance, member, flags, params, result, exception, argumentError);
}

}  // namespace dispatch

}  // namespace korvane
