// The state of the loaded server: the two counts that decide unloading, the
// type library, and the class objects. It is started on the first request
// that needs it (a class object, registration) rather than inside DllMain,
// where loading a type library under the loader lock is unsafe.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <atomic>
#include <forward_list>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <span>
#include <string>

#include "server/ClassObject.h"
#include "support/ComPtr.h"

namespace korvane {

class ServerState {
 public:
  // Called from DllMain: remembers the module and the classes it serves.
  static void attach(HMODULE module, std::span<const ClassDescription> classes);
  // Called from DllMain when the library is unloaded.
  static void detach();
  // The server, started on first use; throws Failure when it cannot start.
  static ServerState& get();
  // The server if it has been started, else null.
  static ServerState* running();

  explicit ServerState(std::span<const ClassDescription> classes);
  ~ServerState();
  ServerState(const ServerState&) = delete;
  ServerState& operator=(const ServerState&) = delete;

  void objectCreated() { ++objects_; }
  void objectDestroyed() { --objects_; }
  ULONG classReferenceAdded() { return static_cast<ULONG>(++classReferences_); }
  ULONG classReferenceReleased() { return static_cast<ULONG>(--classReferences_); }
  bool canUnload() const { return objects_ == 0 && classReferences_ == 0; }

  ITypeLib& typeLib() const { return *typeLib_.get(); }
  const std::wstring& modulePath() const { return modulePath_; }
  const std::wstring& serverName() const { return serverName_; }

  // The class object for a CLSID, or null.
  ClassObject* find(REFCLSID clsid) const;
  // Visits the class objects newest first, holding the list exclusively.
  template <class Visit>
  void forEachClass(Visit&& visit) {
    std::unique_lock lock(classesLock_);
    for (auto& classObject : classes_) visit(*classObject);
  }

 private:
  std::atomic<LONG> objects_{0};
  std::atomic<LONG> classReferences_{0};
  std::wstring modulePath_;
  ComPtr<ITypeLib> typeLib_;
  std::wstring serverName_;
  mutable std::shared_mutex classesLock_;
  std::forward_list<std::unique_ptr<ClassObject>> classes_;
};

// The full file name of Korvane.dll as loaded.
std::wstring moduleFileName();

}  // namespace korvane
