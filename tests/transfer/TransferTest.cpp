#include <windows.h>
#include <doctest/doctest.h>

#include "TransferFixture.h"

#include <algorithm>

using namespace korvane::test;
using korvane::Failure;
using Bytes = std::vector<std::byte>;
using Events = std::vector<long>;

namespace {

// Calls `transfer` and returns the Failure's message it must throw.
template <class Call>
std::wstring failureOf(Call transfer) {
  try {
    transfer();
  } catch (const Failure& failure) {
    return failure.message();
  }
  FAIL_CHECK("no failure");
  return {};
}

const Bytes oldContent = pattern(300, 99);

}  // namespace

TEST_CASE("writing: events follow the chunks and the field receives the file") {
  struct Case {
    size_t size;
    Events events;
  };
  const Case cases[] = {
      {10000, {0, 41, 82, 100, 100}},
      {8192, {0, 50, 100, 100}},
      {4096, {0, 100, 100}},  // exactly one chunk
      {0, {0, 100}},          // no chunk: the row is still added
  };
  forEachBackend([&](const Backend& backend) {
    for (const Case& c : cases) {
      CAPTURE(c.size);
      TransferFixture t(backend, L"write_events");
      const Bytes content = pattern(c.size);
      writeFile(t.folder + L"in.bin", content);
      RecordingEvents events;
      CHECK(t.write(L"in.bin", 4096, missingId(), &events));
      CHECK(events.percentages == c.events);
      CHECK(t.rows() == 1);
      const auto stored = t.db.bytes(L"SELECT img FROM " + t.table);
      if (c.size == 0) {
        CHECK_FALSE(stored);  // what the database gives a new row
      } else {
        CHECK(stored == content);
      }
    }
  });
}

TEST_CASE("reading: events follow the chunks and the file receives the field") {
  struct Case {
    size_t size;
    Events events;
  };
  const Case cases[] = {
      {10000, {0, 41, 82, 100, 100}},
      {8192, {0, 50, 100, 100}},  // two full chunks, then an answer without bytes
      {4096, {0, 100, 100}},
      {1, {0, 100, 100}},
  };
  forEachBackend([&](const Backend& backend) {
    for (const Case& c : cases) {
      CAPTURE(c.size);
      TransferFixture t(backend, L"read_events");
      const Bytes content = pattern(c.size, 7);
      t.db.insert(t.table, 1, content);
      writeFile(t.folder + L"out.bin", oldContent);  // replaced by the read
      RecordingEvents events;
      CHECK(t.read(L"out.bin", 4096, 1, &events));
      CHECK(events.percentages == c.events);
      CHECK(readFile(t.folder + L"out.bin") == content);
      CHECK(filesIn(t.folder) == std::vector<std::wstring>{L"out.bin"});
    }
  });
}

TEST_CASE("cancel: the chunks moved before it are kept, the closing 100 still comes") {
  forEachBackend([&](const Backend& backend) {
    TransferFixture t(backend, L"cancel");
    const Bytes content = pattern(10000, 3);
    writeFile(t.folder + L"in.bin", content);
    const Bytes firstChunk(content.begin(), content.begin() + 4096);

    for (VARIANT_BOOL stored : {VARIANT_TRUE, VARIANT_BOOL(1)}) {
      CAPTURE(stored);
      RecordingEvents opening;
      opening.cancelAtPercent = 0;
      opening.cancelValue = stored;
      CHECK(t.write(L"in.bin", 4096, missingId(), &opening));
      CHECK(opening.percentages == Events{0, 41, 100});
      CHECK(opening.cancelSeen == std::vector<VARIANT_BOOL>{VARIANT_FALSE, stored, stored});
    }
    CHECK(t.rows() == 2);
    CHECK(t.db.number(L"SELECT COUNT(*) FROM " + t.table + L" WHERE " + backend.lengthOf + L"(img) = 4096") == 2);

    t.db.insert(t.table, 5, content);
    RecordingEvents at41;
    at41.cancelAtPercent = 41;
    CHECK(t.read(L"out.bin", 4096, 5, &at41));
    CHECK(at41.percentages == Events{0, 41, 100});
    CHECK(readFile(t.folder + L"out.bin") == firstChunk);
  });
}

TEST_CASE("an existing row: the first of equal keys receives the file; an empty file changes nothing") {
  forEachBackend([&](const Backend& backend) {
    TransferFixture t(backend, L"existing");
    const Bytes a = pattern(100, 1), b = pattern(200, 2), c = pattern(300, 3), d = pattern(5000, 4);
    t.db.insert(t.table, 1, a);
    t.db.insert(t.table, 2, b);
    t.db.insert(t.table, 2, c);
    writeFile(t.folder + L"d.bin", d);
    writeFile(t.folder + L"empty.bin", {});

    RecordingEvents events;
    CHECK(t.write(L"d.bin", 4096, integerId(2), &events));
    CHECK(events.percentages == Events{0, 82, 100, 100});
    CHECK(t.stored(2, 0) == d);
    CHECK(t.stored(2, 1) == c);
    CHECK(t.stored(1) == a);

    RecordingEvents none;
    CHECK(t.write(L"empty.bin", 4096, integerId(1), &none));
    CHECK(none.percentages == Events{0, 100});
    CHECK(t.stored(1) == a);
    CHECK(t.rows() == 3);

    // The key is compared by the library's rules: the text "2" matches 2.
    VARIANT textKey;
    V_VT(&textKey) = VT_BSTR;
    V_BSTR(&textKey) = SysAllocString(L"2");
    CHECK(t.write(L"empty.bin", 4096, textKey, nullptr));
    VariantClear(&textKey);
  });
}

TEST_CASE("no matching row: a write sends nothing and changes nothing, a read keeps the target") {
  forEachBackend([&](const Backend& backend) {
    TransferFixture t(backend, L"no_row");
    t.db.insert(t.table, 1, oldContent);
    writeFile(t.folder + L"in.bin", pattern(5000));
    writeFile(t.folder + L"target.bin", oldContent);

    RecordingEvents writeEvents;
    CHECK_FALSE(t.write(L"in.bin", 4096, integerId(9), &writeEvents));
    CHECK(writeEvents.percentages.empty());
    CHECK(t.rows() == 1);
    CHECK(t.stored(1) == oldContent);

    RecordingEvents readEvents;
    CHECK_FALSE(t.read(L"target.bin", 4096, 9, &readEvents));
    CHECK(readEvents.percentages == Events{0, 100});
    CHECK(readFile(t.folder + L"target.bin") == oldContent);
    CHECK_FALSE(t.read(L"absent.bin", 4096, 9, nullptr));
    CHECK_FALSE(readFile(t.folder + L"absent.bin"));
    std::vector<std::wstring> files = filesIn(t.folder);
    std::sort(files.begin(), files.end());
    CHECK(files == std::vector<std::wstring>{L"in.bin", L"target.bin"});

    // An empty table has no matching row either.
    t.db.execute(L"DELETE FROM " + t.table);
    CHECK_FALSE(t.write(L"in.bin", 4096, integerId(1), nullptr));
  });
}

TEST_CASE("a Null field, an empty field and a text field read as false") {
  forEachBackend([&](const Backend& backend) {
    TransferFixture t(backend, L"null_text", L", name text");
    t.db.insert(t.table, 1, std::nullopt);
    t.db.insert(t.table, 2, Bytes{});
    t.db.execute(L"UPDATE " + t.table + L" SET name = 'some text' WHERE id = 1");
    writeFile(t.folder + L"target.bin", oldContent);

    struct Case {
      int id;
      const wchar_t* field;
    };
    for (const Case& c : {Case{1, L"img"}, Case{2, L"img"}, Case{1, L"name"}}) {
      CAPTURE(c.id);
      RecordingEvents events;
      CHECK_FALSE(t.read(L"target.bin", 4096, c.id, &events, c.field));
      CHECK(events.percentages == Events{0, 100});
      CHECK(readFile(t.folder + L"target.bin") == oldContent);
      CHECK(filesIn(t.folder).size() == 1);
    }
  });
}

TEST_CASE("events: no receiver moves the same data; a receiver may start another transfer") {
  forEachBackend([&](const Backend& backend) {
    TransferFixture t(backend, L"reentry");
    const Bytes one = pattern(9000, 1), two = pattern(7000, 2);
    writeFile(t.folder + L"one.bin", one);
    CHECK(t.write(L"one.bin", 4096, missingId(), nullptr));
    t.db.execute(L"UPDATE " + t.table + L" SET id = 1");
    t.db.insert(t.table, 2, two);

    RecordingEvents inner;
    RecordingEvents outer;
    bool innerResult = false;
    outer.onFirstEvent = [&] { innerResult = t.read(L"two.bin", 4096, 2, &inner); };
    CHECK(t.read(L"one-back.bin", 4096, 1, &outer));
    CHECK(innerResult);
    CHECK(outer.percentages == Events{0, 46, 91, 100, 100});
    CHECK(inner.percentages == Events{0, 59, 100, 100});
    CHECK(readFile(t.folder + L"one-back.bin") == one);
    CHECK(readFile(t.folder + L"two.bin") == two);
  });
}

TEST_CASE("BufferSize: 1 to 1048576 are served, other sizes are refused before anything is touched") {
  forEachBackend([&](const Backend& backend) {
    TransferFixture t(backend, L"buffer_size");
    const Bytes content = pattern(3 * 1048576 + 5, 11);
    writeFile(t.folder + L"in.bin", content);
    for (long size : {4097L, 1048576L}) {
      CAPTURE(size);
      RecordingEvents events;
      CHECK(t.write(L"in.bin", size, missingId(), &events));
      t.db.execute(L"UPDATE " + t.table + L" SET id = " + std::to_wstring(size) + L" WHERE id IS NULL");
      CHECK(t.read(L"out.bin", size, size, nullptr));
      CHECK(readFile(t.folder + L"out.bin") == content);
    }
    writeFile(t.folder + L"out.bin", oldContent);
    for (long size : {0L, -1L, 1048577L, 0x7fffffffL}) {
      CAPTURE(size);
      RecordingEvents events;
      CHECK(failureOf([&] { t.write(L"in.bin", size, missingId(), &events); }) ==
            L"BufferSize must be between 1 and 1048576");
      CHECK(failureOf([&] { t.read(L"out.bin", size, 4097, &events); }) ==
            L"BufferSize must be between 1 and 1048576");
      CHECK(events.percentages.empty());
    }
    CHECK(t.rows() == 2);
    CHECK(readFile(t.folder + L"out.bin") == oldContent);
  });
}

TEST_CASE("injection through names or the key is refused and touches nothing") {
  forEachBackend([&](const Backend& backend) {
    TransferFixture t(backend, L"injection");
    t.db.insert(t.table, 1, oldContent);
    writeFile(t.folder + L"in.bin", pattern(5000));
    writeFile(t.folder + L"target.bin", oldContent);
    const std::wstring drop = t.table + L"; DROP TABLE " + t.table;
    const std::wstring img = L"img", id = L"id";

    struct Names {
      std::wstring table, image, key;
    };
    const Names names[] = {
        {drop, img, id},
        {t.table, L"img FROM " + t.table + L"; DROP TABLE " + t.table + L"; --", id},
        {t.table, img, L"id=id OR 1"},
        {t.table, L"img) VALUES (NULL); DELETE FROM " + t.table + L" --", id},
        {L"[" + t.table + L"]; DELETE FROM " + t.table, img, id},
    };
    for (const Names& n : names) {
      CAPTURE(narrow(n.table + L" / " + n.image + L" / " + n.key));
      const VARIANT one = integerId(1);
      CHECK_THROWS_AS(korvane::writeFileToDatabase(backend.connection, t.folder + L"in.bin", 4096, n.table,
                                                   n.image, n.key, one, nullptr),
                      Failure);
      CHECK_THROWS_AS(korvane::readFileFromDatabase(backend.connection, t.folder + L"target.bin", 4096,
                                                    n.table, n.image, n.key, one, nullptr),
                      Failure);
    }
    for (const wchar_t* key : {L"1 OR 1=1", L"1; DELETE FROM x", L"'1' OR '1'='1'", L"abc", L"'abc"}) {
      CAPTURE(narrow(key));
      VARIANT text;
      V_VT(&text) = VT_BSTR;
      V_BSTR(&text) = SysAllocString(key);
      RecordingEvents events;
      CHECK_THROWS_AS(korvane::readFileFromDatabase(backend.connection, t.folder + L"target.bin", 4096,
                                                    t.table, img, id, text, &events),
                      Failure);
      VariantClear(&text);
      CHECK(events.percentages.empty());
    }
    CHECK(t.db.tableExists(t.table));
    CHECK(t.rows() == 1);
    CHECK(t.stored(1) == oldContent);
    CHECK(readFile(t.folder + L"target.bin") == oldContent);
    CHECK(filesIn(t.folder).size() == 2);

    // A quoted text key is a value: it selects nothing here, and harms nothing.
    VARIANT quoted;
    V_VT(&quoted) = VT_BSTR;
    V_BSTR(&quoted) = SysAllocString(L"'1 OR 1=1'");
    t.db.execute(L"ALTER TABLE " + t.table + L" ADD COLUMN code text");
    t.db.execute(L"UPDATE " + t.table + L" SET code = '1'");
    CHECK_FALSE(korvane::readFileFromDatabase(backend.connection, t.folder + L"target.bin", 4096, t.table,
                                              img, L"code", quoted, nullptr));
    VariantClear(&quoted);
    CHECK(readFile(t.folder + L"target.bin") == oldContent);
  });
}

TEST_CASE("a failure before the row is saved leaves the database as it was") {
  forEachBackend([&](const Backend& backend) {
    TransferFixture t(backend, L"rollback",
                      L" CHECK (img IS NULL OR " + backend.lengthOf + L"(img) < 1000)");
    t.db.insert(t.table, 1, oldContent);
    writeFile(t.folder + L"big.bin", pattern(5000));

    RecordingEvents events;
    CHECK_THROWS_AS(t.write(L"big.bin", 4096, integerId(1), &events), Failure);  // refused at Update
    CHECK_THROWS_AS(t.write(L"big.bin", 4096, missingId(), nullptr), Failure);
    CHECK(t.rows() == 1);
    CHECK(t.stored(1) == oldContent);

    const VARIANT id = missingId();
    CHECK_THROWS_AS(korvane::writeFileToDatabase(backend.connection, t.folder + L"big.bin", 4096, t.table,
                                                 L"nosuchfield", L"id", id, nullptr),
                    Failure);
    CHECK(failureOf([&] { t.write(L"missing.bin", 4096, missingId(), nullptr); }) == L"File not found");
    CHECK(t.rows() == 1);
  });
}

TEST_CASE("a failed read leaves an existing target intact and no temporary file") {
  forEachBackend([&](const Backend& backend) {
    TransferFixture t(backend, L"failed_read");
    t.db.insert(t.table, 1, pattern(10000));
    writeFile(t.folder + L"target.bin", oldContent);
    const VARIANT one = integerId(1);
    RecordingEvents events;
    CHECK_THROWS_AS(korvane::readFileFromDatabase(backend.connection, t.folder + L"target.bin", 4096,
                                                  L"no_such_table", L"img", L"id", one, &events),
                    Failure);
    CHECK(events.percentages.empty());
    CHECK(readFile(t.folder + L"target.bin") == oldContent);
    CHECK(filesIn(t.folder) == std::vector<std::wstring>{L"target.bin"});
    CHECK_THROWS_AS(korvane::readFileFromDatabase(L"DRIVER={No such driver}", t.folder + L"target.bin",
                                                  4096, t.table, L"img", L"id", one, nullptr),
                    Failure);
    CHECK(filesIn(t.folder) == std::vector<std::wstring>{L"target.bin"});
  });
}

TEST_CASE("Provider=MSDASQL reaches the ODBC driver") {
  const Backend& sqlite = backends().front();
  TransferFixture t(sqlite, L"provider");
  const Bytes content = pattern(777);
  writeFile(t.folder + L"in.bin", content);
  const VARIANT id = missingId();
  CHECK(korvane::writeFileToDatabase(L"Provider=MSDASQL;" + sqlite.connection, t.folder + L"in.bin", 4096,
                                     t.table, L"img", L"id", id, nullptr));
  CHECK(t.db.bytes(L"SELECT img FROM " + t.table) == content);
}

TEST_CASE("a PostgreSQL table without row identifier or primary key is not written by key") {
  const Backend& postgres = backends().back();
  forEachBackend([&](const Backend& backend) {
    if (&backend != &postgres) return;
    Database db(backend);
    const std::wstring table = tableName(L"no_identity");
    db.execute(L"DROP TABLE IF EXISTS " + table);
    db.execute(L"CREATE TABLE " + table + L" (id integer, img bytea)");
    db.insert(table, 1, oldContent);
    const std::wstring folder = scratchFolder(L"no_identity");
    writeFile(folder + L"in.bin", pattern(10));
    const VARIANT one = integerId(1);
    CHECK_THROWS_AS(korvane::writeFileToDatabase(backend.connection, folder + L"in.bin", 4096, table, L"img",
                                                 L"id", one, nullptr),
                    Failure);
    CHECK(db.bytes(L"SELECT img FROM " + table) == oldContent);
  });
}
