// CInOutFileDB through COM, on SQLite and PostgreSQL: progress reaching a
// real event sink, what the sink may do inside an event, and how outcomes
// and failures reach the client (the result and the thread's error object).
// The transfers' own rules are covered without COM in tests/transfer.
#include <windows.h>
#include <doctest/doctest.h>

#include "InOutFileDBClient.h"

#include <algorithm>
#include <functional>

using namespace korvane::test;
using korvane::ComPtr;
using Bytes = std::vector<std::byte>;
using Events = std::vector<long>;

namespace {

const Bytes oldContent = pattern(300, 99);

// Every event came as OnPercentComplete(Percentage, Cancel), packed as
// automation clients expect: a method call by DISPID 1 with two positional
// arguments, Percentage a VT_I4 and Cancel a VT_BOOL by reference.
void checkPacking(const EventSink& sink) {
  for (const auto& event : sink.events()) {
    CHECK(event.member == 1);
    REQUIRE(event.arguments.size() == 2);
    CHECK(V_VT(&event.arguments[1]) == VT_I4);
    CHECK(V_VT(&event.arguments[0]) == (VT_BOOL | VT_BYREF));
    CHECK(event.namedArguments == 0);
    CHECK(IsEqualIID(event.iid, IID_NULL));
    CHECK(event.locale == 0);
    CHECK(event.flags == DISPATCH_METHOD);
    CHECK(event.emptyResult);
    CHECK(event.zeroedException);
    CHECK_FALSE(event.argumentErrorSlot);
    CHECK(event.cancelOnArrival == VARIANT_FALSE);
  }
}

std::vector<VARIANT_BOOL> cancelsOnArrival(const EventSink& sink) {
  std::vector<VARIANT_BOOL> seen;
  for (const auto& event : sink.events()) seen.push_back(event.cancelOnArrival);
  return seen;
}

Bytes firstBytes(const Bytes& content, size_t count) {
  return Bytes(content.begin(), content.begin() + std::min(count, content.size()));
}

}  // namespace

TEST_CASE("progress reaches the sink chunk by chunk, writing and reading back") {
  struct Case {
    size_t size;
    long bufferSize;
    Events events;
  };
  const Case cases[] = {
      {10000, 4096, {0, 41, 82, 100, 100}},
      {8192, 4096, {0, 50, 100, 100}},  // the read ends on an answer without bytes
      {8, 1, {0, 12, 25, 38, 50, 62, 75, 88, 100, 100}},  // halves go to the even neighbour
      {4096, 4096, {0, 100, 100}},  // a file of exactly BufferSize: one chunk
  };
  onEachBackend(L"com_progress", [&](InOutFileDBClient& client) {
    for (const Case& c : cases) {
      CAPTURE(c.size);
      const Bytes content = pattern(c.size, 5);
      writeFile(client.folder + L"in.bin", content);
      client.db.execute(L"DELETE FROM " + client.table);

      CHECK(client.write(L"in.bin", c.bufferSize, missingId()) == VARIANT_TRUE);
      CHECK(client.sink.percentages() == c.events);
      checkPacking(client.sink);
      CHECK(client.db.bytes(L"SELECT img FROM " + client.table) == content);

      client.db.execute(L"UPDATE " + client.table + L" SET id = 1");
      client.sink.forgetEvents();
      CHECK(client.read(L"out.bin", c.bufferSize, integerId(1)) == VARIANT_TRUE);
      CHECK(client.sink.percentages() == c.events);
      checkPacking(client.sink);
      CHECK(readFile(client.folder + L"out.bin") == content);
      client.sink.forgetEvents();
      CHECK_FALSE(takeErrorObject());
    }

    // An empty file: no chunk, yet the row is added. Its field stays Null,
    // which reads back as false with the opening and closing events only.
    writeFile(client.folder + L"empty.bin", {});
    client.db.execute(L"DELETE FROM " + client.table);
    CHECK(client.write(L"empty.bin", 4096, missingId()) == VARIANT_TRUE);
    CHECK(client.sink.percentages() == Events{0, 100});
    CHECK(client.rows() == 1);
    client.db.execute(L"UPDATE " + client.table + L" SET id = 1");
    client.sink.forgetEvents();
    CHECK(client.read(L"empty-out.bin", 4096, integerId(1)) == VARIANT_FALSE);
    CHECK(client.sink.percentages() == Events{0, 100});
    CHECK_FALSE(readFile(client.folder + L"empty-out.bin"));
  });
}

TEST_CASE("a cancel set by the sink stops the transfer after the chunk in hand") {
  struct Case {
    Direction direction;
    size_t atEvent;  // 0: the opening event; 1: the event 41
    VARIANT_BOOL stored;
  };
  const Case cases[] = {
      {Direction::Write, 0, VARIANT_TRUE}, {Direction::Write, 0, 1},
      {Direction::Write, 1, VARIANT_TRUE}, {Direction::Write, 1, 1},
      {Direction::Read, 0, VARIANT_TRUE},  {Direction::Read, 0, 1},
      {Direction::Read, 1, VARIANT_TRUE},  {Direction::Read, 1, 1},
  };
  onEachBackend(L"com_cancel", [&](InOutFileDBClient& client) {
    const Bytes content = pattern(10000, 3);
    writeFile(client.folder + L"in.bin", content);
    client.db.insert(client.table, 1, content);
    int nextId = 2;
    for (const Case& c : cases) {
      CAPTURE(std::string(c.direction == Direction::Write ? "write" : "read"));
      CAPTURE(c.atEvent);
      CAPTURE(c.stored);
      client.sink.forgetEvents();
      client.sink.onEvent = [&](size_t index, VARIANT_BOOL* cancel) {
        if (index == c.atEvent) *cancel = c.stored;
      };
      if (c.direction == Direction::Write) {
        CHECK(client.write(L"in.bin", 4096, missingId()) == VARIANT_TRUE);
        const std::wstring id = std::to_wstring(nextId++);
        client.db.execute(L"UPDATE " + client.table + L" SET id = " + id + L" WHERE id IS NULL");
        CHECK(client.db.bytes(L"SELECT img FROM " + client.table + L" WHERE id = " + id) ==
              firstBytes(content, 4096));
      } else {
        CHECK(client.read(L"out.bin", 4096, integerId(1)) == VARIANT_TRUE);
        CHECK(readFile(client.folder + L"out.bin") == firstBytes(content, 4096));
      }
      // The closing 100 still comes, and the flag stays as the sink left it.
      CHECK(client.sink.percentages() == Events{0, 41, 100});
      const std::vector<VARIANT_BOOL> expected =
          c.atEvent == 0 ? std::vector<VARIANT_BOOL>{VARIANT_FALSE, c.stored, c.stored}
                         : std::vector<VARIANT_BOOL>{VARIANT_FALSE, VARIANT_FALSE, c.stored};
      CHECK(cancelsOnArrival(client.sink) == expected);
    }
  });
}

TEST_CASE("a sink that fails its events does not disturb the transfer") {
  onEachBackend(L"com_failing_sink", [&](InOutFileDBClient& client) {
    const Bytes content = pattern(10000, 8);
    writeFile(client.folder + L"in.bin", content);
    for (HRESULT answer : {E_FAIL, DISP_E_EXCEPTION, DISP_E_MEMBERNOTFOUND}) {
      CAPTURE(answer);
      client.db.execute(L"DELETE FROM " + client.table);
      client.sink.invokeResult = answer;
      client.sink.forgetEvents();
      CHECK(client.write(L"in.bin", 4096, missingId()) == VARIANT_TRUE);
      CHECK(client.sink.percentages() == Events{0, 41, 82, 100, 100});
      CHECK_FALSE(takeErrorObject());
      client.db.execute(L"UPDATE " + client.table + L" SET id = 1");
      CHECK(client.read(L"out.bin", 4096, integerId(1)) == VARIANT_TRUE);
      CHECK(readFile(client.folder + L"out.bin") == content);
      CHECK_FALSE(takeErrorObject());
    }
  });
}

TEST_CASE("a sink may call the object again from inside an event") {
  onEachBackend(L"com_reentry", [&](InOutFileDBClient& client) {
    const Bytes outer = pattern(9000, 1), inner = pattern(7000, 2);
    client.db.insert(client.table, 1, outer);
    client.db.insert(client.table, 2, inner);

    VARIANT_BOOL innerResult = VARIANT_FALSE;
    client.sink.onEvent = [&](size_t index, VARIANT_BOOL*) {
      if (index == 0) innerResult = client.read(L"inner.bin", 4096, integerId(2));
    };
    CHECK(client.read(L"outer.bin", 4096, integerId(1)) == VARIANT_TRUE);
    CHECK(innerResult == VARIANT_TRUE);
    // The inner transfer's events arrive inside the outer one's opening event.
    CHECK(client.sink.percentages() == Events{0, 0, 59, 100, 100, 46, 91, 100, 100});
    CHECK(readFile(client.folder + L"outer.bin") == outer);
    CHECK(readFile(client.folder + L"inner.bin") == inner);

    // A write lets a handler read meanwhile. (A handler that wrote into the
    // same SQLite database would wait for the outer write's lock instead:
    // SQLite has one writer at a time.)
    client.sink.forgetEvents();
    writeFile(client.folder + L"in.bin", inner);
    client.sink.onEvent = [&](size_t index, VARIANT_BOOL*) {
      if (index == 1) innerResult = client.read(L"inner-again.bin", 4096, integerId(1));
    };
    CHECK(client.write(L"in.bin", 4096, integerId(2)) == VARIANT_TRUE);
    CHECK(innerResult == VARIANT_TRUE);
    CHECK(client.sink.percentages() == Events{0, 59, 0, 46, 91, 100, 100, 100, 100});
    CHECK(readFile(client.folder + L"inner-again.bin") == outer);
    CHECK(client.stored(2) == inner);
  });
}

TEST_CASE("a sink that disconnects inside an event hears nothing more; no sink, same data") {
  onEachBackend(L"com_disconnect", [&](InOutFileDBClient& client) {
    const Bytes content = pattern(10000, 4);
    writeFile(client.folder + L"in.bin", content);
    client.db.insert(client.table, 1, content);

    client.sink.onEvent = [&](size_t index, VARIANT_BOOL*) {
      if (index == 1) client.disconnect();
    };
    CHECK(client.read(L"out.bin", 4096, integerId(1)) == VARIANT_TRUE);
    CHECK(client.sink.percentages() == Events{0, 41});
    CHECK(readFile(client.folder + L"out.bin") == content);
    CHECK(client.sink.references() == 0);

    // Without a sink, both directions move the same data.
    CHECK(client.write(L"in.bin", 4096, missingId()) == VARIANT_TRUE);
    CHECK(client.db.bytes(L"SELECT img FROM " + client.table + L" WHERE id IS NULL") == content);
    CHECK(client.read(L"out2.bin", 4096, integerId(1)) == VARIANT_TRUE);
    CHECK(readFile(client.folder + L"out2.bin") == content);
    CHECK(client.sink.percentages() == Events{0, 41});
  });
}

TEST_CASE("the row: missing or Null ID adds one, a key finds the first equal row") {
  onEachBackend(L"com_rows", [&](InOutFileDBClient& client) {
    const Bytes a = pattern(100, 1), b = pattern(200, 2), fresh = pattern(5000, 3);
    client.db.insert(client.table, 1, a);
    client.db.insert(client.table, 2, b);
    client.db.insert(client.table, 2, b);
    writeFile(client.folder + L"in.bin", fresh);

    CHECK(client.write(L"in.bin", 4096, missingId()) == VARIANT_TRUE);
    CHECK(client.write(L"in.bin", 4096, nullId()) == VARIANT_TRUE);
    CHECK(client.rows() == 5);
    CHECK(client.db.number(L"SELECT COUNT(*) FROM " + client.table + L" WHERE id IS NULL") == 2);

    CHECK(client.write(L"in.bin", 4096, integerId(2)) == VARIANT_TRUE);
    CHECK(client.stored(2, 0) == fresh);
    CHECK(client.stored(2, 1) == b);
    CHECK(client.stored(1) == a);
    CHECK(client.rows() == 5);
  });
}

TEST_CASE("handled outcomes are false without an error object") {
  onEachBackend(L"com_false", [&](InOutFileDBClient& client) {
    client.db.execute(L"ALTER TABLE " + client.table + L" ADD COLUMN name text");
    client.db.insert(client.table, 1, std::nullopt);
    client.db.execute(L"UPDATE " + client.table + L" SET name = 'some text'");
    writeFile(client.folder + L"in.bin", pattern(5000));
    writeFile(client.folder + L"target.bin", oldContent);

    // No row with the key: a write sends no event and changes nothing.
    leaveStaleErrorObject();
    CHECK(client.write(L"in.bin", 4096, integerId(9)) == VARIANT_FALSE);
    CHECK(client.sink.percentages().empty());
    CHECK_FALSE(takeErrorObject());
    CHECK(client.rows() == 1);

    // Reads that find nothing to copy: no row, a Null field, a text field.
    struct Case {
      int id;
      const wchar_t* field;
    };
    for (const Case& c : {Case{9, L"img"}, Case{1, L"img"}, Case{1, L"name"}}) {
      CAPTURE(c.id);
      CAPTURE(narrow(c.field));
      client.sink.forgetEvents();
      leaveStaleErrorObject();
      TransferCall call = client.call(L"target.bin", 4096, integerId(c.id));
      call.imageField = c.field;
      CHECK(client.transfer(Direction::Read, call) == VARIANT_FALSE);
      CHECK(client.sink.percentages() == Events{0, 100});
      CHECK_FALSE(takeErrorObject());
      CHECK(readFile(client.folder + L"target.bin") == oldContent);
    }
    std::vector<std::wstring> files = filesIn(client.folder);
    std::sort(files.begin(), files.end());
    CHECK(files == std::vector<std::wstring>{L"in.bin", L"target.bin"});
  });
}

TEST_CASE("a failure is false with an error object of Korvane.CInOutFileDB that says what failed") {
  onEachBackend(L"com_failures", [&](InOutFileDBClient& client) {
    client.db.insert(client.table, 1, pattern(10000));
    writeFile(client.folder + L"in.bin", pattern(5000));
    writeFile(client.folder + L"target.bin", oldContent);

    struct Case {
      const char* what;
      Direction direction;
      std::function<void(TransferCall&)> change;
      std::wstring description;  // the message, or a part of the database's diagnostic
      bool exact;
      bool needsDecimals = false;
    };
    const Case cases[] = {
        {"missing file", Direction::Write, [](TransferCall& c) { c.fileName += L".missing"; },
         L"File not found", true},
        {"BufferSize 0", Direction::Read, [](TransferCall& c) { c.bufferSize = 0; },
         L"BufferSize must be between 1 and 1048576", true},
        {"no such table, read", Direction::Read, [](TransferCall& c) { c.table = L"no_such_table"; },
         L"no_such_table", false},
        {"no such table, write", Direction::Write, [](TransferCall& c) { c.table = L"no_such_table"; },
         L"no_such_table", false},
        {"no such driver", Direction::Read,
         [](TransferCall& c) { c.connection = L"DRIVER={No such driver};Database=x"; }, L"No such driver", false},
        {"another provider", Direction::Write,
         [](TransferCall& c) { c.connection = L"Provider=SQLOLEDB;Data Source=x"; },
         L"ADO providers are not supported yet: SQLOLEDB", true},
        {"a key field of variant type Decimal", Direction::Write,
         [](TransferCall& c) {
           c.idField = L"amount";
           c.id = integerId(5);
         },
         L"A key field value of variant type 14 cannot be compared with a key of variant type 3", true, true},
        {"a text key that is no number", Direction::Write,
         [](TransferCall& c) {
           c.idField = L"name";
           c.id = integerId(5);
         },
         L"The key \"x5\" cannot be compared as a number", true},
    };
    client.db.execute(L"ALTER TABLE " + client.table + L" ADD COLUMN amount numeric(10, 2)");
    client.db.execute(L"ALTER TABLE " + client.table + L" ADD COLUMN name varchar(20)");
    client.db.execute(L"UPDATE " + client.table + L" SET amount = 5, name = 'x5'");
    // SQLite's driver does not report numeric columns as decimals.
    const bool decimals = client.backend.name != std::string("SQLite");
    for (const Case& c : cases) {
      if (c.needsDecimals && !decimals) continue;
      CAPTURE(std::string(c.what));
      client.sink.forgetEvents();
      TransferCall call = client.call(c.direction == Direction::Write ? L"in.bin" : L"target.bin", 4096,
                                      integerId(1));
      c.change(call);
      CHECK(client.transfer(c.direction, call) == VARIANT_FALSE);
      const auto error = takeErrorObject();
      REQUIRE(error);
      CHECK(error->source == L"Korvane.CInOutFileDB");
      CHECK(IsEqualGUID(error->guid, IID_ICInOutFileDB));
      CAPTURE(narrow(error->description));
      if (c.exact) {
        CHECK(error->description == c.description);
      } else {
        CHECK(error->description.find(c.description) != std::wstring::npos);
      }
      CHECK(client.sink.percentages().empty());
      // Nothing lost: the target keeps its content, the row its field.
      CHECK(readFile(client.folder + L"target.bin") == oldContent);
      CHECK(client.stored(1) == pattern(10000));
      CHECK(client.rows() == 1);
    }
  });
}

TEST_CASE("text and integer keys compare as numbers through COM") {
  onEachBackend(L"com_text_key", [&](InOutFileDBClient& client) {
    const Bytes fresh = pattern(3000, 6);
    writeFile(client.folder + L"in.bin", fresh);
    client.db.execute(L"ALTER TABLE " + client.table + L" ADD COLUMN code varchar(20)");
    client.db.insert(client.table, 1, oldContent);
    client.db.insert(client.table, 2, oldContent);
    client.db.execute(L"UPDATE " + client.table + L" SET code = ' 5' WHERE id = 1");
    client.db.execute(L"UPDATE " + client.table + L" SET code = '5.0' WHERE id = 2");

    // The integer 5 equals the text " 5" read as a number: the first row.
    TransferCall call = client.call(L"in.bin", 4096, integerId(5));
    call.idField = L"code";
    CHECK(client.transfer(Direction::Write, call) == VARIANT_TRUE);
    CHECK(client.stored(1) == fresh);
    CHECK(client.stored(2) == oldContent);

    // A text key against the integer field: "2" is the number 2.
    const auto two = textId(L"2");
    CHECK(client.write(L"in.bin", 4096, *two.get()) == VARIANT_TRUE);
    CHECK(client.stored(2) == fresh);
  });
}

TEST_CASE("injection through a name or the key is refused, and nothing is touched") {
  onEachBackend(L"com_injection", [&](InOutFileDBClient& client) {
    client.db.insert(client.table, 1, oldContent);
    writeFile(client.folder + L"in.bin", pattern(5000));
    writeFile(client.folder + L"target.bin", oldContent);
    const std::wstring drop = client.table + L"; DROP TABLE " + client.table;

    struct Case {
      const char* what;
      std::function<void(TransferCall&)> change;
      std::wstring why;  // how the error object's description begins
    };
    const Case cases[] = {
        {"Table", [&](TransferCall& c) { c.table = drop; }, L"Table \"" + drop + L"\" is not a valid name"},
        {"ImageField", [&](TransferCall& c) { c.imageField = L"img FROM " + drop + L"; --"; },
         L"ImageField \"img FROM " + drop + L"; --\" is not a valid name"},
        {"IDField", [](TransferCall& c) { c.idField = L"id=id OR 1"; }, L"IDField \"id=id OR 1\" is not a valid name"},
        {"bracketed Table", [&](TransferCall& c) { c.table = L"[" + client.table + L"]; DELETE FROM x"; },
         L"Table \"[" + client.table + L"]; DELETE FROM x\" is not a valid name"},
    };
    for (const Case& c : cases) {
      for (Direction direction : {Direction::Write, Direction::Read}) {
        CAPTURE(std::string(c.what));
        CAPTURE(direction == Direction::Write ? "write" : "read");
        TransferCall call = client.call(direction == Direction::Write ? L"in.bin" : L"target.bin", 4096,
                                        integerId(1));
        c.change(call);
        CHECK(client.transfer(direction, call) == VARIANT_FALSE);
        const auto error = takeErrorObject();
        REQUIRE(error);
        CAPTURE(narrow(error->description));
        CHECK(error->description.starts_with(c.why));
      }
    }

    // The key reaches SQL only as a value: on a read, text that is neither a
    // number nor in apostrophes is refused; on a write it is only compared.
    for (const wchar_t* key : {L"1 OR 1=1", L"1; DELETE FROM x", L"'1' OR '1'='1'"}) {
      CAPTURE(narrow(key));
      const auto id = textId(key);
      CHECK(client.read(L"target.bin", 4096, *id.get()) == VARIANT_FALSE);
      auto error = takeErrorObject();
      REQUIRE(error);
      CHECK(error->description ==
            L"ID \"" + std::wstring(key) + L"\" is neither a number nor a text key in apostrophes ('text')");
      CHECK(client.write(L"in.bin", 4096, *id.get()) == VARIANT_FALSE);
      error = takeErrorObject();
      REQUIRE(error);
      CHECK(error->description == L"The key \"" + std::wstring(key) + L"\" cannot be compared as a number");
    }
    CHECK(client.sink.percentages().empty());
    CHECK(client.db.tableExists(client.table));
    CHECK(client.rows() == 1);
    CHECK(client.stored(1) == oldContent);
    CHECK(readFile(client.folder + L"target.bin") == oldContent);
    CHECK(filesIn(client.folder).size() == 2);
  });
}
