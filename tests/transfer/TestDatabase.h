// Test databases for the transfers: the backends the cases run on, a direct
// ODBC connection to prepare and inspect tables, deterministic file contents
// and the recording events receiver.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <sql.h>
#include <sqlext.h>

#include "transfer/ProgressEvents.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvane::test {

struct Backend {
  const char* name;
  std::wstring connection;   // empty when the database is not reachable
  std::wstring blobType;     // the column type of binary fields
  std::wstring lengthOf;     // the SQL function giving a binary value's length
  std::wstring identity;     // a leading column definition that identifies rows, or empty
  std::wstring order;        // the column that orders rows as they were added
};

// SQLite, and PostgreSQL from KORVANE_PG_CONNECTION.
const std::vector<Backend>& backends();

// Table names carry the bitness, so that both test programs can share a
// PostgreSQL database.
std::wstring tableName(const wchar_t* base);

class Database {
 public:
  explicit Database(const Backend& backend);
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  ~Database();

  void execute(const std::wstring& sql);
  // The first column of the first row: Null as nullopt.
  std::optional<std::wstring> text(const std::wstring& sql);
  std::optional<std::vector<std::byte>> bytes(const std::wstring& sql);
  std::int64_t number(const std::wstring& sql);
  bool tableExists(const std::wstring& table);
  // A new row with the key and the bytes (nullopt: Null).
  void insert(const std::wstring& table, int id, const std::optional<std::vector<std::byte>>& data);

 private:
  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
};

// Deterministic bytes: the same seed and offset give the same bytes.
std::vector<std::byte> pattern(std::size_t size, std::uint32_t seed = 1);
void fillPattern(std::byte* out, std::size_t size, std::uint64_t offset, std::uint32_t seed);

// A folder of its own for a test's files, as a Windows path ending in '\'.
std::wstring scratchFolder(const wchar_t* name);
void writeFile(const std::wstring& path, const std::vector<std::byte>& data);
std::optional<std::vector<std::byte>> readFile(const std::wstring& path);
// The names in a folder, without "." and "..".
std::vector<std::wstring> filesIn(const std::wstring& folder);

// A VARIANT holding a value for ID arguments.
VARIANT integerId(int value);
VARIANT missingId();

struct RecordingEvents : ProgressEvents {
  std::vector<long> percentages;
  std::vector<VARIANT_BOOL> cancelSeen;  // the flag as each event found it
  std::optional<long> cancelAtPercent;   // set the flag in the event with this percentage
  VARIANT_BOOL cancelValue = VARIANT_TRUE;
  std::function<void()> onFirstEvent;

  void percentComplete(long percentage, VARIANT_BOOL* cancel) override {
    cancelSeen.push_back(*cancel);
    percentages.push_back(percentage);
    if (cancelAtPercent && *cancelAtPercent == percentage) {
      *cancel = cancelValue;
      cancelAtPercent.reset();
    }
    if (onFirstEvent) std::exchange(onFirstEvent, nullptr)();
  }
};

}  // namespace korvane::test
