// One backend's table of files (id, img) and a scratch folder, with the two
// transfers called the way the COM class calls them.
#pragma once
#include "TestDatabase.h"

#include "TestSupport.h"
#include "support/Failure.h"
#include "transfer/Transfers.h"

#include <doctest/doctest.h>

#include <stdexcept>
#include <string>

namespace korvane::test {

struct TransferFixture {
  const Backend& backend;
  Database db;
  std::wstring table;
  std::wstring folder;

  TransferFixture(const Backend& b, const wchar_t* name, const std::wstring& moreColumns = L"")
      : backend(b), db(b), table(tableName(name)), folder(scratchFolder(name)) {
    db.execute(L"DROP TABLE IF EXISTS " + table);
    db.execute(L"CREATE TABLE " + table + L" (" + b.identity + L"id integer, img " + b.blobType +
               moreColumns + L")");
  }

  bool write(const std::wstring& file, long bufferSize, const VARIANT& id, ProgressEvents* events) {
    return writeFileToDatabase(backend.connection, folder + file, bufferSize, table, L"img", L"id", id, events);
  }
  bool read(const std::wstring& file, long bufferSize, int id, ProgressEvents* events,
            const std::wstring& field = L"img") {
    const VARIANT key = integerId(id);
    return readFileFromDatabase(backend.connection, folder + file, bufferSize, table, field, L"id", key, events);
  }

  // The img values of the rows with the key, in the order they were added.
  std::optional<std::vector<std::byte>> stored(int id, int nth = 0) {
    return db.bytes(L"SELECT img FROM " + table + L" WHERE id = " + std::to_wstring(id) + L" ORDER BY " +
                    backend.order + L" LIMIT 1 OFFSET " + std::to_wstring(nth));
  }
  std::int64_t rows() { return db.number(L"SELECT COUNT(*) FROM " + table); }
};

// Runs `body` once per backend; an unreachable backend fails loudly.
template <class Body>
void forEachBackend(Body body) {
  for (const Backend& backend : backends()) {
    const std::string backendName = backend.name;
    CAPTURE(backendName);
    try {
      body(backend);
    } catch (const std::runtime_error& e) {
      FAIL_CHECK(backendName << ": " << std::string(e.what()));
    } catch (const Failure& f) {
      FAIL_CHECK(backendName << ": unexpected failure: " << narrow(f.message()));
    }
  }
}

}  // namespace korvane::test
