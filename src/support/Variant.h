// Owner of one VARIANT: cleared on destruction.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <utility>

namespace korvane {

class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  Variant(Variant&& other) noexcept : Variant() { std::swap(v_, other.v_); }
  Variant& operator=(Variant&& other) noexcept { std::swap(v_, other.v_); return *this; }
  ~Variant() { VariantClear(&v_); }

  VARIANT* get() { return &v_; }
  const VARIANT* get() const { return &v_; }
  VARIANT* operator->() { return &v_; }
  const VARIANT* operator->() const { return &v_; }
  VARTYPE type() const { return V_VT(&v_); }
  // Clears the value and hands out the slot for an out-parameter.
  VARIANT* put() { VariantClear(&v_); return &v_; }

 private:
  VARIANT v_;
};

}  // namespace korvane
