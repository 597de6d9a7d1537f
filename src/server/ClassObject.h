// The class object (IClassFactory) of one creatable class, and the static
// description from which the server builds it at start-up.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <string>

#include "server/ErrorBoundary.h"
#include "support/ComPtr.h"

namespace korvane {

class ClassObject;
class ObjectCore;
class ServerState;

// What the server needs to know of an implementing class before the type
// library says the rest (name, description, interfaces).
struct ClassDescription {
  const CLSID& clsid;
  const wchar_t* implementationName;  // e.g. L"TCFileAccess", used in start-up messages
  bool automation;                    // dual interface with IDispatch and events
  const IID& defaultInterface;        // the interface the implementing class answers
  // Builds an object around the given outer object (null when not aggregated).
  ObjectCore* (*create)(ClassObject& classObject, IUnknown* outer);
};

class ClassObject final : public IClassFactory {
 public:
  // Reads the class's name, description and interfaces from the type library;
  // throws Failure when the library does not describe the class.
  ClassObject(const ClassDescription& description, ServerState& server);

  ServerState& server() const { return server_; }

  const CLSID& clsid() const { return description_.clsid; }
  const IID& defaultInterface() const { return description_.defaultInterface; }
  const std::wstring& className() const { return className_; }
  const std::wstring& description() const { return text_; }
  const std::wstring& progId() const { return progId_; }
  ITypeInfo* coclassInfo() const { return coclassInfo_.get(); }
  // The dual interface's dispatch description (automation classes only).
  ITypeInfo* dispatchInfo() const { return dispatchInfo_.get(); }
  // The default source interface, or GUID_NULL when the class raises no events.
  const IID& eventInterface() const { return eventInterface_; }
  const ErrorSource& errorSource() const { return errorSource_; }

  // IUnknown: one reference count shared by all class objects; a class
  // object lives until the library is unloaded, whatever its count.
  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IClassFactory
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  void readDispatchAndEvents();

  const ClassDescription& description_;
  ServerState& server_;
  std::wstring className_;
  std::wstring text_;
  std::wstring progId_;
  ComPtr<ITypeInfo> coclassInfo_;
  ComPtr<ITypeInfo> dispatchInfo_;
  IID eventInterface_ = GUID_NULL;
  ErrorSource errorSource_;
};

}  // namespace korvane
