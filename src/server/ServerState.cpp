#include "server/ServerState.h"

#include <mutex>

#include "support/Bstr.h"
#include "support/Failure.h"

namespace korvane {

namespace {

HMODULE serverModule = nullptr;
std::span<const ClassDescription> servedClasses;
std::mutex starting;
std::atomic<ServerState*> runningState{nullptr};

ComPtr<ITypeLib> loadOwnTypeLib(const std::wstring& path) {
  ComPtr<ITypeLib> typeLib;
  throwIfFailed(LoadTypeLib(path.c_str(), typeLib.put()), L"Loading the type library");
  return typeLib;
}

std::wstring libraryName(ITypeLib& typeLib) {
  Bstr name;
  throwIfFailed(typeLib.GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr),
                L"Reading the type library's name");
  return std::wstring(name.view());
}

}  // namespace

std::wstring moduleFileName() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(serverModule, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) throw Failure(L"The module's file name is not available");
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void ServerState::attach(HMODULE module, std::span<const ClassDescription> classes) {
  serverModule = module;
  servedClasses = classes;
}

void ServerState::detach() {
  delete runningState.exchange(nullptr);
}

ServerState& ServerState::get() {
  if (ServerState* state = runningState.load()) return *state;
  // Not std::call_once: with this runtime a call_once whose function threw
  // blocks every later call, and a failed start must be retried.
  std::lock_guard lock(starting);
  if (!runningState.load()) runningState = new ServerState(servedClasses);
  return *runningState.load();
}

ServerState* ServerState::running() {
  return runningState.load();
}

ServerState::ServerState(std::span<const ClassDescription> classes)
    : modulePath_(moduleFileName()),
      typeLib_(loadOwnTypeLib(modulePath_)),
      serverName_(libraryName(*typeLib_.get())) {
  std::unique_lock lock(classesLock_);
  for (const auto& description : classes) {
    classes_.push_front(std::make_unique<ClassObject>(description, *this));
  }
}

ServerState::~ServerState() {
  std::unique_lock lock(classesLock_);
  while (!classes_.empty()) classes_.pop_front();
}

ClassObject* ServerState::find(REFCLSID clsid) const {
  std::shared_lock lock(classesLock_);
  for (const auto& classObject : classes_) {
    if (IsEqualCLSID(classObject->clsid(), clsid)) return classObject.get();
  }
  return nullptr;
}

}  // namespace korvane
