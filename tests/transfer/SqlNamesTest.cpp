#include <windows.h>
#include <oleauto.h>
#include <doctest/doctest.h>

#include "TestSupport.h"
#include "support/Failure.h"
#include "transfer/DatabaseSession.h"
#include "transfer/SqlNames.h"

#include <cstdint>
#include <string>
#include <variant>

using korvane::Failure;
using korvane::SqlKey;
using korvane::SqlName;

TEST_CASE("names: identifiers, qualified or enclosed, are taken and rendered") {
  struct Case {
    const wchar_t* text;
    const wchar_t* rendered;  // with " as the database's quote
    const wchar_t* column;
  };
  const Case cases[] = {
      {L"People", L"People", L"People"},
      {L"dbo.People_2", L"dbo.People_2", L"People_2"},
      {L"[Order]", L"\"Order\"", L"Order"},
      {L"\"Mixed\".`x$1`", L"\"Mixed\".\"x$1\"", L"x$1"},
      {L"Fotos\u00e4", L"Fotos\u00e4", L"Fotos\u00e4"},
  };
  for (const Case& c : cases) {
    CAPTURE(korvane::test::narrow(c.text));
    const SqlName name = SqlName::parse(L"Table", c.text);
    CHECK(name.render(L'"') == c.rendered);
    CHECK(name.unqualified() == c.column);
    CHECK(name.names(c.column));
  }
  CHECK(SqlName::parse(L"Table", L"people").names(L"PEOPLE"));
}

TEST_CASE("names: anything but identifiers is refused") {
  const wchar_t* refused[] = {
      L"",
      L"People; DROP TABLE People",
      L"People--",
      L"a b",
      L"a.",
      L".a",
      L"a..b",
      L"[a]]",
      L"[a b]",
      L"\"a\"\"b\"",
      L"[unclosed",
      L"x'",
      L"img) VALUES (1); --",
      L"(SELECT 1)",
  };
  for (const wchar_t* text : refused) {
    CAPTURE(korvane::test::narrow(text));
    try {
      SqlName::parse(L"ImageField", text);
      FAIL("accepted");
    } catch (const Failure& failure) {
      CHECK(failure.message().starts_with(L"ImageField \""));
    }
  }
}

TEST_CASE("keys: numbers stay numbers, quoted text is unwrapped, the rest is refused") {
  const auto textKey = [](const wchar_t* s) {
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(s);
    return v;
  };
  const auto key = [](VARIANT v) {
    SqlKey result = korvane::parseSqlKey(v);
    VariantClear(&v);
    return result;
  };
  VARIANT number;
  V_VT(&number) = VT_I4;
  V_I4(&number) = 42;
  CHECK(key(number) == SqlKey{std::int64_t{42}});
  V_VT(&number) = VT_R8;
  V_R8(&number) = 2.5;
  CHECK(key(number) == SqlKey{2.5});
  V_VT(&number) = VT_R8;
  V_R8(&number) = 7.0;
  CHECK(key(number) == SqlKey{std::int64_t{7}});

  CHECK(key(textKey(L"42")) == SqlKey{std::int64_t{42}});
  CHECK(key(textKey(L" -3 ")) == SqlKey{std::int64_t{-3}});
  CHECK(key(textKey(L"1.5e2")) == SqlKey{150.0});
  CHECK(key(textKey(L"'abc'")) == SqlKey{std::wstring(L"abc")});
  CHECK(key(textKey(L"'O''Brien'")) == SqlKey{std::wstring(L"O'Brien")});
  CHECK(key(textKey(L"''")) == SqlKey{std::wstring()});
  CHECK(key(textKey(L"'1 OR 1=1'")) == SqlKey{std::wstring(L"1 OR 1=1")});

  const wchar_t* refused[] = {L"abc", L"1 OR 1=1", L"'abc", L"'a'b'", L"'a' OR '1'='1'", L"", L"0x10", L"1;"};
  for (const wchar_t* text : refused) {
    CAPTURE(korvane::test::narrow(text));
    CHECK_THROWS_AS(key(textKey(text)), Failure);
  }
  VARIANT other;
  VariantInit(&other);
  CHECK_THROWS_AS(korvane::parseSqlKey(other), Failure);  // Empty
  V_VT(&other) = VT_NULL;
  CHECK_THROWS_AS(korvane::parseSqlKey(other), Failure);
  V_VT(&other) = VT_DATE;
  V_DATE(&other) = 1;
  CHECK_THROWS_AS(korvane::parseSqlKey(other), Failure);
}

TEST_CASE("connection strings: MSDASQL or no provider goes to ODBC unchanged") {
  struct Case {
    const wchar_t* text;
    const wchar_t* odbc;  // nullptr: another provider
    const wchar_t* provider;
  };
  const Case cases[] = {
      {L"DRIVER={SQLite3};Database=/tmp/a.db", L"DRIVER={SQLite3};Database=/tmp/a.db", L""},
      {L"Provider=MSDASQL;DSN=Sales;UID=a", L"DSN=Sales;UID=a", L"MSDASQL"},
      {L"DSN=x; provider = msdasql.1 ;PWD={a;b}", L"DSN=x;PWD={a;b}", L"msdasql.1"},
      {L"Provider=\"MSDASQL\";DRIVER={x}", L"DRIVER={x}", L"MSDASQL"},
      {L"Provider=SQLOLEDB;Data Source=s", nullptr, L"SQLOLEDB"},
      {L"Driver={x;Provider=SQLOLEDB}", L"Driver={x;Provider=SQLOLEDB}", L""},
  };
  for (const Case& c : cases) {
    CAPTURE(korvane::test::narrow(c.text));
    std::wstring provider;
    const auto odbc = korvane::odbcConnectionString(c.text, &provider);
    CHECK(provider == c.provider);
    if (c.odbc) {
      REQUIRE(odbc);
      CHECK(*odbc == c.odbc);
    } else {
      CHECK_FALSE(odbc);
    }
  }
}

TEST_CASE("another ADO provider is refused with its name") {
  try {
    korvane::openSession(L"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb",
                         korvane::TableRows{SqlName::parse(L"Table", L"t"), SqlName::parse(L"ImageField", L"f"), {}});
    FAIL("opened");
  } catch (const Failure& failure) {
    CHECK(failure.message() == L"ADO providers are not supported yet: Microsoft.Jet.OLEDB.4.0");
  }
}
