#include "transfer/KeyComparison.h"

#include "support/AnsiText.h"
#include "support/Bstr.h"
#include "support/Failure.h"
#include "support/Variant.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace korvane {
namespace {

enum class Group { Null, Integer, WideInteger, Real, Date, Currency, Text, Boolean, Invalid };

Group groupOf(const VARIANT& v) {
  switch (V_VT(&v)) {
    case VT_NULL: return Group::Null;
    case VT_I1: case VT_I2: case VT_I4: case VT_UI1: return Group::Integer;
    case VT_UI2: case VT_UI4: case VT_I8: return Group::WideInteger;
    case VT_R4: case VT_R8: return Group::Real;
    case VT_DATE: return Group::Date;
    case VT_CY: return Group::Currency;
    case VT_BSTR: return Group::Text;
    case VT_BOOL: return Group::Boolean;
    default: return Group::Invalid;
  }
}

// One side converted by the system's rules for the type the rule compares in.
Variant convert(const VARIANT& v, VARTYPE type) {
  Variant result;
  const HRESULT hr = VariantChangeTypeEx(result.get(), const_cast<VARIANT*>(&v), LOCALE_USER_DEFAULT, 0, type);
  if (FAILED(hr)) {
    const wchar_t* target = type == VT_R8 ? L"a number" : type == VT_CY ? L"a currency amount"
                                                                         : L"a boolean";
    if (V_VT(&v) == VT_BSTR) {
      throw Failure(L"The key \"" + std::wstring(Bstr::view(V_BSTR(&v))) +
                        L"\" cannot be compared as " + target,
                    hr);
    }
    throw Failure(std::wstring(L"A key value cannot be compared as ") + target, hr);
  }
  return result;
}

double asReal(const VARIANT& v) { return V_R8(convert(v, VT_R8).get()); }
std::int64_t asCurrency(const VARIANT& v) { return V_CY(convert(v, VT_CY).get()).int64; }
bool asBoolean(const VARIANT& v) { return V_BOOL(convert(v, VT_BOOL).get()) != VARIANT_FALSE; }

std::int64_t asInteger(const VARIANT& v) {
  switch (V_VT(&v)) {
    case VT_I1: return V_I1(&v);
    case VT_I2: return V_I2(&v);
    case VT_I4: return V_I4(&v);
    case VT_UI1: return V_UI1(&v);
    case VT_UI2: return V_UI2(&v);
    case VT_UI4: return V_UI4(&v);
    case VT_I8: return V_I8(&v);
    case VT_BOOL: return V_BOOL(&v);  // -1 or 0, as the system counts it
    default: return 0;                // not reached: the groups decide first
  }
}

// Texts compare by their 8-bit form, byte by byte, up to the first zero byte.
bool sameAnsiText(const VARIANT& a, const VARIANT& b) {
  const std::string left = toAnsi(Bstr::view(V_BSTR(&a)));
  const std::string right = toAnsi(Bstr::view(V_BSTR(&b)));
  return std::strcmp(left.c_str(), right.c_str()) == 0;
}

std::wstring typeName(const VARIANT& v) { return std::to_wstring(V_VT(&v)); }

}  // namespace

bool keysEqual(const VARIANT& fieldValue, const VARIANT& key) {
  const Group a = groupOf(fieldValue);
  const Group b = groupOf(key);
  const auto either = [&](Group g) { return a == g || b == g; };
  const auto both = [&](Group g) { return a == g && b == g; };
  const auto pair = [&](Group x, Group y) { return (a == x && b == y) || (a == y && b == x); };

  if (either(Group::Invalid)) {
    throw Failure(L"A key field value of variant type " + typeName(fieldValue) +
                  L" cannot be compared with a key of variant type " + typeName(key));
  }
  if (either(Group::Null)) return both(Group::Null);
  if (either(Group::Date)) return asReal(fieldValue) == asReal(key);
  if (either(Group::Currency)) return asCurrency(fieldValue) == asCurrency(key);
  if (both(Group::Text)) return sameAnsiText(fieldValue, key);
  if (both(Group::Boolean) || pair(Group::Text, Group::Boolean)) {
    return asBoolean(fieldValue) == asBoolean(key);
  }
  if (either(Group::Real) || pair(Group::Text, Group::Integer) ||
      pair(Group::Text, Group::WideInteger)) {
    return asReal(fieldValue) == asReal(key);
  }
  if (!either(Group::WideInteger)) {
    // Integers, or an integer with a boolean: signed 32-bit.
    return static_cast<std::int32_t>(asInteger(fieldValue)) ==
           static_cast<std::int32_t>(asInteger(key));
  }
  return asInteger(fieldValue) == asInteger(key);
}

}  // namespace korvane
