#include "server/ClassObject.h"

#include "server/ObjectCore.h"
#include "server/ServerState.h"
#include "support/Bstr.h"
#include "support/Failure.h"

namespace korvane {

namespace {

Failure startupFailure(const wchar_t* what, const ClassDescription& description) {
  return Failure(std::wstring(what) + L" " + description.implementationName);
}

GUID guidOf(ITypeInfo& info) {
  TYPEATTR* attributes = nullptr;
  throwIfFailed(info.GetTypeAttr(&attributes), L"Reading type attributes");
  const GUID guid = attributes->guid;
  info.ReleaseTypeAttr(attributes);
  return guid;
}

// The first interface the coclass implements with exactly the wanted
// default/source flags, or null.
ComPtr<ITypeInfo> implementedInterface(ITypeInfo& coclass, bool source) {
  TYPEATTR* attributes = nullptr;
  throwIfFailed(coclass.GetTypeAttr(&attributes), L"Reading coclass attributes");
  const WORD count = attributes->cImplTypes;
  coclass.ReleaseTypeAttr(attributes);

  for (UINT index = 0; index < count; ++index) {
    INT flags = 0;
    throwIfFailed(coclass.GetImplTypeFlags(index, &flags), L"Reading implementation flags");
    const bool isDefault = flags & IMPLTYPEFLAG_FDEFAULT;
    const bool isSource = flags & IMPLTYPEFLAG_FSOURCE;
    if (!isDefault || isSource != source) continue;
    HREFTYPE reference = 0;
    ComPtr<ITypeInfo> info;
    throwIfFailed(coclass.GetRefTypeOfImplType(index, &reference), L"Reading an implemented interface");
    throwIfFailed(coclass.GetRefTypeInfo(reference, info.put()), L"Reading an implemented interface");
    return info;
  }
  return nullptr;
}

// Shown when an object cannot be built: the only message the server ever
// puts on the screen while it serves clients.
void showConstructionFailure(std::wstring message) {
  if (!message.empty() && message.back() > L'.') message += L'.';
  MessageBoxW(nullptr, message.c_str(), L"DAX Error", MB_OK | MB_ICONSTOP | MB_SETFOREGROUND);
}

}  // namespace

ClassObject::ClassObject(const ClassDescription& description, ServerState& server)
    : description_(description), server_(server) {
  if (FAILED(server.typeLib().GetTypeInfoOfGuid(description.clsid, coclassInfo_.put()))) {
    throw startupFailure(L"Type information missing for class", description);
  }
  Bstr name, text;
  throwIfFailed(coclassInfo_->GetDocumentation(MEMBERID_NIL, name.put(), text.put(), nullptr, nullptr),
                L"Reading the class's name");
  className_ = name.view();
  text_ = text.view();
  progId_ = server.serverName() + L"." + className_;
  errorSource_.progId = progId_;
  if (description.automation) readDispatchAndEvents();
}

void ClassObject::readDispatchAndEvents() {
  dispatchInfo_ = implementedInterface(*coclassInfo_.get(), false);
  if (!dispatchInfo_) throw startupFailure(L"Incorrect type information for class", description_);
  const GUID dispatchInterface = guidOf(*dispatchInfo_.get());
  if (!IsEqualIID(dispatchInterface, description_.defaultInterface)) {
    throw startupFailure(L"Dispatch interface missing from class", description_);
  }
  errorSource_.guid = dispatchInterface;
  if (auto events = implementedInterface(*coclassInfo_.get(), true)) eventInterface_ = guidOf(*events.get());
}

STDMETHODIMP ClassObject::QueryInterface(REFIID iid, void** ppv) {
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ClassObject::AddRef() {
  return server_.classReferenceAdded();
}

STDMETHODIMP_(ULONG) ClassObject::Release() {
  return server_.classReferenceReleased();
}

STDMETHODIMP ClassObject::CreateInstance(IUnknown* outer, REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;

  ObjectCore* object = nullptr;
  try {
    object = description_.create(*this, outer);
  } catch (const Failure& failure) {
    showConstructionFailure(failure.message());
    return E_UNEXPECTED;
  } catch (...) {
    return E_UNEXPECTED;
  }
  return object->handOut(iid, ppv);
}

STDMETHODIMP ClassObject::LockServer(BOOL lock) {
  const HRESULT locked = CoLockObjectExternal(static_cast<IClassFactory*>(this), lock, TRUE);
  // The object count follows the client's request whatever the platform
  // answered, so that every LockServer(FALSE) can undo a LockServer(TRUE).
  if (lock) {
    server_.objectCreated();
  } else {
    server_.objectDestroyed();
  }
  return locked;
}

}  // namespace korvane
