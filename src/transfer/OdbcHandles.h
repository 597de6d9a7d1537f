// Owners of ODBC handles (wide functions only: Wine's odbc32 has no ANSI
// ones), and the check that turns a failed call into a Failure carrying the
// driver's own diagnostic text.
#pragma once
#include <windows.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <utility>

namespace korvane::odbc {

template <SQLSMALLINT Type>
class Handle {
 public:
  Handle() = default;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept { std::swap(h_, other.h_); return *this; }
  ~Handle() { reset(); }

  SQLHANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != SQL_NULL_HANDLE; }
  void reset() {
    if (h_ != SQL_NULL_HANDLE) SQLFreeHandle(Type, std::exchange(h_, nullptr));
  }

  // A new handle under `parent` (SQL_NULL_HANDLE for an environment).
  static Handle allocate(SQLHANDLE parent);

 private:
  SQLHANDLE h_ = SQL_NULL_HANDLE;
};

using Environment = Handle<SQL_HANDLE_ENV>;
using Statement = Handle<SQL_HANDLE_STMT>;

// A connection handle that is connected: disconnected, after rolling back
// what was not committed, before it is freed.
class Connection {
 public:
  Connection(const Environment& environment, const std::wstring& connectionString);
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  SQLHDBC get() const { return dbc_.get(); }
  Statement newStatement() const;

 private:
  Handle<SQL_HANDLE_DBC> dbc_;
};

// The diagnostic records of a handle, joined into one text.
std::wstring diagnostics(SQLSMALLINT type, SQLHANDLE handle);

// Throws a Failure with the handle's diagnostics unless `rc` succeeded.
void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle);
inline void check(SQLRETURN rc, const Statement& statement) {
  check(rc, SQL_HANDLE_STMT, statement.get());
}
inline void check(SQLRETURN rc, const Connection& connection) {
  check(rc, SQL_HANDLE_DBC, connection.get());
}

}  // namespace korvane::odbc
