#include "transfer/OdbcValues.h"

#include "support/Failure.h"
#include "transfer/ByteArray.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace korvane::odbc {
namespace {

// SQLGetData into a fixed-size C value. False for Null (or no data left).
template <class T>
bool getFixed(const Statement& statement, SQLUSMALLINT column, SQLSMALLINT cType, T& value) {
  SQLLEN indicator = 0;
  const SQLRETURN rc = SQLGetData(statement.get(), column, cType, &value, sizeof value, &indicator);
  if (rc == SQL_NO_DATA) return false;
  check(rc, statement);
  return indicator != SQL_NULL_DATA;
}

// The remaining text of a column, read in pieces. False for Null.
bool getText(const Statement& statement, SQLUSMALLINT column, std::wstring& text) {
  text.clear();
  bool any = false;
  for (;;) {
    SQLWCHAR piece[2048];
    SQLLEN indicator = 0;
    const SQLRETURN rc =
        SQLGetData(statement.get(), column, SQL_C_WCHAR, piece, sizeof piece, &indicator);
    if (rc == SQL_NO_DATA) return any;
    check(rc, statement);
    if (indicator == SQL_NULL_DATA) return false;
    any = true;
    const size_t capacity = sizeof piece / sizeof *piece - 1;
    const size_t count = indicator == SQL_NO_TOTAL || static_cast<size_t>(indicator) / sizeof(SQLWCHAR) > capacity
                             ? capacity
                             : static_cast<size_t>(indicator) / sizeof(SQLWCHAR);
    text.append(reinterpret_cast<const wchar_t*>(piece), count);
    if (rc == SQL_SUCCESS) return true;
  }
}

// A fixed-size value of the column, stored in the variant as `type` by
// `store`. False for Null, which leaves the variant as it was.
template <class T, class Store>
bool readFixed(const Statement& statement, SQLUSMALLINT column, SQLSMALLINT cType, VARIANT& out, VARTYPE type,
               Store store) {
  T value{};
  if (!getFixed(statement, column, cType, value)) return false;
  V_VT(&out) = type;
  store(out, value);
  return true;
}

Variant textVariant(const std::wstring& text) {
  Variant v;
  V_BSTR(v.get()) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!V_BSTR(v.get())) throw std::bad_alloc();
  V_VT(v.get()) = VT_BSTR;
  return v;
}

Variant nullVariant() {
  Variant v;
  V_VT(v.get()) = VT_NULL;
  return v;
}

DATE dateOf(const SQL_TIMESTAMP_STRUCT& t) {
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(t.year);
  time.wMonth = t.month;
  time.wDay = t.day;
  time.wHour = t.hour;
  time.wMinute = t.minute;
  time.wSecond = t.second;
  DATE date = 0;
  if (!SystemTimeToVariantTime(&time, &date)) throw Failure(L"A date of the database is out of range");
  // The fraction is in nanoseconds; an OLE date before 1899-12-30 counts its
  // time of day away from zero.
  const double fraction = t.fraction / 86400e9;
  return date < 0 ? date - fraction : date + fraction;
}

Variant decimalFromText(const std::wstring& text) {
  Variant v;
  const HRESULT hr = VarDecFromStr(const_cast<wchar_t*>(text.c_str()), LOCALE_INVARIANT, 0, &V_DECIMAL(v.get()));
  if (FAILED(hr)) return textVariant(text);  // beyond a Decimal's range: keep the digits
  V_VT(v.get()) = VT_DECIMAL;
  return v;
}

}  // namespace

ColumnInfo describeColumn(const Statement& statement, SQLUSMALLINT column) {
  SQLWCHAR name[256];
  SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  check(SQLDescribeColW(statement.get(), column, name, sizeof name / sizeof *name, &nameLength,
                        &type, &size, &digits, &nullable),
        statement);
  return {reinterpret_cast<const wchar_t*>(name), type};
}

bool isBinaryType(SQLSMALLINT sqlType) {
  return sqlType == SQL_BINARY || sqlType == SQL_VARBINARY || sqlType == SQL_LONGVARBINARY;
}

Variant readValue(const Statement& statement, SQLUSMALLINT column, SQLSMALLINT sqlType) {
  Variant v;
  VARIANT& out = *v.get();
  bool present = true;
  switch (sqlType) {
    case SQL_INTEGER:
      present = readFixed<SQLINTEGER>(statement, column, SQL_C_SLONG, out, VT_I4,
                                      [](VARIANT& o, SQLINTEGER x) { V_I4(&o) = x; });
      break;
    case SQL_SMALLINT:
      present = readFixed<SQLSMALLINT>(statement, column, SQL_C_SSHORT, out, VT_I2,
                                       [](VARIANT& o, SQLSMALLINT x) { V_I2(&o) = x; });
      break;
    case SQL_TINYINT:
      present = readFixed<SQLCHAR>(statement, column, SQL_C_UTINYINT, out, VT_UI1,
                                   [](VARIANT& o, SQLCHAR x) { V_UI1(&o) = x; });
      break;
    case SQL_BIGINT:
      present = readFixed<SQLBIGINT>(statement, column, SQL_C_SBIGINT, out, VT_I8,
                                     [](VARIANT& o, SQLBIGINT x) { V_I8(&o) = x; });
      break;
    case SQL_REAL:
      present = readFixed<SQLREAL>(statement, column, SQL_C_FLOAT, out, VT_R4,
                                   [](VARIANT& o, SQLREAL x) { V_R4(&o) = x; });
      break;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      present = readFixed<SQLDOUBLE>(statement, column, SQL_C_DOUBLE, out, VT_R8,
                                     [](VARIANT& o, SQLDOUBLE x) { V_R8(&o) = x; });
      break;
    case SQL_BIT:
      present = readFixed<SQLCHAR>(statement, column, SQL_C_BIT, out, VT_BOOL,
                                   [](VARIANT& o, SQLCHAR x) { V_BOOL(&o) = x ? VARIANT_TRUE : VARIANT_FALSE; });
      break;
    case SQL_DATE:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
      present = readFixed<SQL_TIMESTAMP_STRUCT>(statement, column, SQL_C_TYPE_TIMESTAMP, out, VT_DATE,
                                                [](VARIANT& o, const SQL_TIMESTAMP_STRUCT& x) { V_DATE(&o) = dateOf(x); });
      break;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: {
      // The whole value, piece by piece, into one array.
      std::vector<std::byte> bytes;
      for (bool first = true;; first = false) {
        const Variant piece = readBytes(statement, column, 65536);
        if (!isByteArray(*piece.get())) {
          present = !first;
          break;
        }
        const ByteArrayData data(*piece.get());
        bytes.insert(bytes.end(), data.bytes().begin(), data.bytes().end());
        if (data.bytes().size() < 65536) break;
      }
      if (!present) break;
      v = makeByteArray(static_cast<long>(bytes.size()));
      if (!bytes.empty()) {
        std::memcpy(ByteArrayData(*v.get()).bytes().data(), bytes.data(), bytes.size());
      }
      break;
    }
    case SQL_NUMERIC:
    case SQL_DECIMAL: {
      std::wstring text;
      present = getText(statement, column, text);
      if (present) v = decimalFromText(text);
      break;
    }
    default: {
      std::wstring text;
      present = getText(statement, column, text);
      if (present) v = textVariant(text);
      break;
    }
  }
  if (!present) return nullVariant();
  return v;
}

Variant readBytes(const Statement& statement, SQLUSMALLINT column, long length) {
  Variant chunk = makeByteArray(length);
  SQLLEN indicator = 0;
  SQLRETURN rc;
  {
    const ByteArrayData data(*chunk.get());
    rc = SQLGetData(statement.get(), column, SQL_C_BINARY, data.bytes().data(), length, &indicator);
  }
  if (rc == SQL_NO_DATA) return nullVariant();
  check(rc, statement);
  if (indicator == SQL_NULL_DATA) return nullVariant();
  // Truncated (more to come): a full chunk; otherwise the indicator counts
  // what was left, all of which arrived.
  const long count = indicator == SQL_NO_TOTAL || indicator > length ? length : static_cast<long>(indicator);
  if (count != length) resizeByteArray(chunk, count);
  return chunk;
}

}  // namespace korvane::odbc
