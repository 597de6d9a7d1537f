// Values of a fetched row as VARIANTs typed the way ADO types them.
#pragma once
#include "support/Variant.h"
#include "transfer/OdbcHandles.h"

#include <string>

namespace korvane::odbc {

// What a column of a result is.
struct ColumnInfo {
  std::wstring name;
  SQLSMALLINT sqlType = SQL_UNKNOWN_TYPE;
};
ColumnInfo describeColumn(const Statement& statement, SQLUSMALLINT column);

bool isBinaryType(SQLSMALLINT sqlType);

// The whole value of `column` in the current row (SQLGetData). Null, and a
// column whose data were already taken, give VT_NULL.
Variant readValue(const Statement& statement, SQLUSMALLINT column, SQLSMALLINT sqlType);

// Reads up to `length` more bytes of a binary column: a byte array with the
// bytes read, or VT_NULL when nothing is left or the value is Null.
Variant readBytes(const Statement& statement, SQLUSMALLINT column, long length);

}  // namespace korvane::odbc
