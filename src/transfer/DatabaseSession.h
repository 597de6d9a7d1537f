// One transfer's access to the database: a connection and a set of rows with
// a current row, in the shape of an ADO recordset, so that a backend can be
// ODBC (OdbcSession) or an ADO provider. Each transfer opens its own session
// and closes it before it returns.
//
// What the session opens is structured, never SQL text from the client: the
// names are validated SqlNames and the key is a value the backend binds (or
// formats itself).
#pragma once
#include "support/Variant.h"
#include "transfer/SqlNames.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace korvane {

// Writing: the rows of a table. The session stores into `imageField`, and
// reads `keyField` of its rows when the writer searches for an existing row.
struct TableRows {
  SqlName table;
  SqlName imageField;
  std::optional<SqlName> keyField;
};

// Reading: `imageField` of the rows of `table` whose `keyField` equals `key`.
struct KeyedRow {
  SqlName table;
  SqlName imageField;
  SqlName keyField;
  SqlKey key;
};

using SessionSource = std::variant<TableRows, KeyedRow>;

class DatabaseSession {
 public:
  virtual ~DatabaseSession() = default;

  // Whether there is no current row: the rows are exhausted, or there were
  // none. A new row from addNew is current until update.
  virtual bool atEnd() = 0;
  virtual void moveNext() = 0;

  // The value of a field of the current row, typed the way ADO types it.
  virtual Variant value(const SqlName& field) = 0;
  // The size in bytes of a field of the current row (0 for Null).
  virtual std::int64_t actualSize(const SqlName& field) = 0;
  // The next at most `length` bytes of a field of the current row: a byte
  // array, Null once nothing is left, or a text or other value for a field
  // that holds no bytes.
  virtual Variant getChunk(const SqlName& field, long length) = 0;

  // Makes a new row the current one; it reaches the database at update.
  virtual void addNew() = 0;
  // The first chunk appended to a field of the current row replaces its
  // content, later ones add to it. `chunk` is a byte array.
  virtual void appendChunk(const SqlName& field, const VARIANT& chunk) = 0;
  // Saves the current row's changes and commits them.
  virtual void update() = 0;

  // Ends the session; changes not saved by update are rolled back. The
  // destructor does the same for a session that is still open.
  virtual void close() = 0;
};

// Opens a session for an ADO-style connection string. A string that names no
// Provider, or Provider=MSDASQL, goes to ODBC with its other keywords
// unchanged; other providers are refused for now.
std::unique_ptr<DatabaseSession> openSession(std::wstring_view connectionString,
                                             const SessionSource& source);

// The part of an ADO connection string that goes to the ODBC driver manager,
// or nothing when the string names another provider than MSDASQL; `provider`
// receives the provider named, if any.
std::optional<std::wstring> odbcConnectionString(std::wstring_view connectionString,
                                                 std::wstring* provider);

}  // namespace korvane
