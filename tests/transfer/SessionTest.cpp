#include <windows.h>
#include <doctest/doctest.h>

#include "TransferFixture.h"
#include "transfer/ByteArray.h"
#include "transfer/DatabaseSession.h"

using namespace korvane::test;
using korvane::SqlName;

TEST_CASE("field values come typed the way ADO types them") {
  struct Column {
    const wchar_t* sqliteType;
    const wchar_t* postgresType;
    const wchar_t* literal;
    VARTYPE expected;
  };
  const Column columns[] = {
      {L"INTEGER", L"integer", L"7", VT_I4},
      {L"SMALLINT", L"smallint", L"7", VT_I2},
      {L"BIGINT", L"bigint", L"7", VT_I8},
      {L"DOUBLE", L"double precision", L"1.5", VT_R8},
      {nullptr, L"real", L"1.5", VT_R4},
      {nullptr, L"numeric(10,2)", L"1.5", VT_DECIMAL},
      {L"TEXT", L"text", L"'x'", VT_BSTR},
      {L"VARCHAR(20)", L"varchar(20)", L"'x'", VT_BSTR},
      {L"TIMESTAMP", L"timestamp", L"'2003-01-02 03:04:05'", VT_DATE},
      {L"BLOB", L"bytea", L"NULL", VT_NULL},
  };
  forEachBackend([&](const Backend& backend) {
    const bool sqlite = &backend == &backends().front();
    Database db(backend);
    const std::wstring table = tableName(L"typed");
    for (const Column& c : columns) {
      const wchar_t* type = sqlite ? c.sqliteType : c.postgresType;
      if (!type) continue;
      CAPTURE(narrow(type));
      db.execute(L"DROP TABLE IF EXISTS " + table);
      db.execute(L"CREATE TABLE " + table + L" (" + backend.identity + L"k " + type + L", img " +
                 backend.blobType + L")");
      db.execute(L"INSERT INTO " + table + L" (k) VALUES (" + c.literal + L")");
      auto session = korvane::openSession(
          backend.connection, korvane::TableRows{SqlName::parse(L"Table", table),
                                                 SqlName::parse(L"ImageField", L"img"),
                                                 SqlName::parse(L"IDField", L"K")});
      REQUIRE_FALSE(session->atEnd());
      const korvane::Variant value = session->value(SqlName::parse(L"IDField", L"K"));
      CHECK(value.type() == c.expected);
      if (c.expected == VT_DATE) {
        SYSTEMTIME time{2003, 1, 0, 2, 3, 4, 5, 0};
        DATE date = 0;
        SystemTimeToVariantTime(&time, &date);
        CHECK(V_DATE(value.get()) == doctest::Approx(date).epsilon(1e-9));
      }
      session->moveNext();
      CHECK(session->atEnd());
      session->close();
    }
  });
}

TEST_CASE("a session ends in a rollback unless update saved the row") {
  forEachBackend([&](const Backend& backend) {
    TransferFixture t(backend, L"session");
    const SqlName image = SqlName::parse(L"ImageField", L"img");
    const korvane::TableRows rows{SqlName::parse(L"Table", t.table), image, {}};
    const korvane::Variant chunk = korvane::makeByteArray(10);
    {
      auto session = korvane::openSession(backend.connection, rows);
      session->addNew();
      session->appendChunk(image, *chunk.get());
      session->close();
    }
    {
      auto session = korvane::openSession(backend.connection, rows);
      session->addNew();
      session->appendChunk(image, *chunk.get());
    }  // destroyed without close
    CHECK(t.rows() == 0);
    auto session = korvane::openSession(backend.connection, rows);
    session->addNew();
    session->appendChunk(image, *chunk.get());
    session->appendChunk(image, *chunk.get());
    session->update();
    session->close();
    CHECK(t.db.number(L"SELECT " + backend.lengthOf + L"(img) FROM " + t.table) == 20);
  });
}
