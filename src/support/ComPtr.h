// Owner of one COM interface reference.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <utility>

namespace korvane {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference on p.
  explicit ComPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept { std::swap(p_, other.p_); return *this; }
  ~ComPtr() { reset(); }

  // Adopts a reference the caller already owns.
  static ComPtr adopt(T* p) { ComPtr result; result.p_ = p; return result; }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  void reset() { if (auto* p = std::exchange(p_, nullptr)) p->Release(); }
  // Gives up ownership: the caller owns the reference.
  T* detach() { return std::exchange(p_, nullptr); }
  // The slot for an out-parameter; drops what is held first.
  T** put() { reset(); return &p_; }
  void** putVoid() { return reinterpret_cast<void**>(put()); }

  // QueryInterface into another ComPtr; returns the HRESULT of the call.
  template <class U>
  HRESULT query(REFIID iid, ComPtr<U>& out) const {
    return p_ ? p_->QueryInterface(iid, out.putVoid()) : E_POINTER;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace korvane
