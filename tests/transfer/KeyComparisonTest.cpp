#include <windows.h>
#include <oleauto.h>
#include <doctest/doctest.h>

#include "support/Failure.h"
#include "transfer/KeyComparison.h"

#include <string>

using korvane::keysEqual;

namespace {

// A VARIANT that owns its text.
struct V {
  VARIANT v;
  V() { VariantInit(&v); }
  V(const V& other) { VariantInit(&v); VariantCopy(&v, const_cast<VARIANT*>(&other.v)); }
  ~V() { VariantClear(&v); }
};

V of(VARTYPE type) { V x; V_VT(&x.v) = type; return x; }
V i1(signed char n) { V x = of(VT_I1); V_I1(&x.v) = n; return x; }
V i2(short n) { V x = of(VT_I2); V_I2(&x.v) = n; return x; }
V i4(long n) { V x = of(VT_I4); V_I4(&x.v) = n; return x; }
V ui1(unsigned char n) { V x = of(VT_UI1); V_UI1(&x.v) = n; return x; }
V ui4(unsigned long n) { V x = of(VT_UI4); V_UI4(&x.v) = n; return x; }
V i8(long long n) { V x = of(VT_I8); V_I8(&x.v) = n; return x; }
V r8(double n) { V x = of(VT_R8); V_R8(&x.v) = n; return x; }
V r4(float n) { V x = of(VT_R4); V_R4(&x.v) = n; return x; }
V date(double n) { V x = of(VT_DATE); V_DATE(&x.v) = n; return x; }
V cy(long long tenThousandths) { V x = of(VT_CY); V_CY(&x.v).int64 = tenThousandths; return x; }
V flag(bool b) { V x = of(VT_BOOL); V_BOOL(&x.v) = b ? VARIANT_TRUE : VARIANT_FALSE; return x; }
V text(std::wstring s) { V x = of(VT_BSTR); V_BSTR(&x.v) = SysAllocStringLen(s.data(), UINT(s.size())); return x; }
V decimal(long n) { V x; V_VT(&x.v) = VT_DECIMAL; VarDecFromI4(n, &V_DECIMAL(&x.v)); return x; }

}  // namespace

TEST_CASE("key comparison: the first rule that applies decides") {
  struct Case {
    const char* rule;
    V field, key;
    bool equal;
  };
  const Case cases[] = {
      {"null only equals null", of(VT_NULL), of(VT_NULL), true},
      {"null never equals a value", of(VT_NULL), i4(0), false},
      {"null never equals empty text", text(L""), of(VT_NULL), false},
      {"date as real", date(37000.5), r8(37000.5), true},
      {"date with text read as a number", date(2.0), text(L"2"), true},
      {"currency", cy(15000), r8(1.5), true},
      {"currency differs", cy(15000), i4(1), false},
      {"text byte by byte", text(L"abc"), text(L"abc"), true},
      {"text is case-sensitive", text(L"Smith"), text(L"SMITH"), false},
      {"text ends at the first zero", text(std::wstring(L"ab\0cd", 5)), text(std::wstring(L"ab\0xy", 5)), true},
      {"text with boolean", text(L"True"), flag(true), true},
      {"booleans", flag(false), flag(false), true},
      {"text with integer as real: 5 matches \"5\"", text(L"5"), i4(5), true},
      {"text with integer as real", text(L"5.0"), i2(5), true},
      {"real with integer", r4(2.5f), r8(2.5), true},
      {"real with boolean", r8(-1), flag(true), true},
      {"integers as 32-bit", i1(-3), i4(-3), true},
      {"unsigned byte with integer", ui1(200), i2(200), true},
      {"integer with boolean", i4(-1), flag(true), true},
      {"integers differ", i4(7), i4(8), false},
      {"wide integers as 64-bit", i8(1ll << 40), i8(1ll << 40), true},
      {"wide integer with integer", ui4(4000000000u), i4(-294967296), false},
      {"wide integer with boolean", i8(-1), flag(true), true},
  };
  for (const Case& c : cases) {
    CAPTURE(c.rule);
    CHECK(keysEqual(c.field.v, c.key.v) == c.equal);
    CHECK(keysEqual(c.key.v, c.field.v) == c.equal);
  }
}

TEST_CASE("key comparison fails for invalid groups and unreadable text") {
  struct Case {
    const char* why;
    V field, key;
  };
  const Case cases[] = {
      {"empty key", i4(1), of(VT_EMPTY)},
      {"decimal field", decimal(5), i4(5)},
      {"error value", i4(1), of(VT_ERROR)},
      {"null with an invalid side", of(VT_NULL), of(VT_EMPTY)},
      {"text that is no number, with an integer", text(L"x5"), i4(5)},
      {"text that is no number, with a real", text(L"abc"), r8(1)},
      {"text that is no boolean", text(L"maybe"), flag(true)},
  };
  for (const Case& c : cases) {
    CAPTURE(c.why);
    CHECK_THROWS_AS(keysEqual(c.field.v, c.key.v), korvane::Failure);
  }
}
