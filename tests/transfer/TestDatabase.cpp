#include "TestDatabase.h"

#include <doctest/doctest.h>

#include "TestSupport.h"

#include <cstdlib>
#include <stdexcept>

namespace korvane::test {
namespace {

std::wstring diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  SQLWCHAR state[6], message[1024];
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (SQLGetDiagRecW(type, handle, 1, state, &native, message, 1024, &length) != SQL_SUCCESS) return L"?";
  return reinterpret_cast<wchar_t*>(message);
}

void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const std::wstring& what) {
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return;
  throw std::runtime_error(narrow(what + L": " + diagnostics(type, handle)));
}

// The Unix path of the test's build folder, which the native SQLite driver
// takes as it is.
std::wstring unixDataDir() { return widen(KORVANE_TEST_DATA_DIR); }

struct StatementOwner {
  SQLHSTMT h = nullptr;
  explicit StatementOwner(SQLHDBC dbc) { SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h); }
  ~StatementOwner() { SQLFreeHandle(SQL_HANDLE_STMT, h); }
};

}  // namespace

const std::vector<Backend>& backends() {
  static const std::vector<Backend> all = [] {
    std::vector<Backend> list;
    const std::wstring sqliteFile = unixDataDir() + L"/transfer.db";
    DeleteFileW((L"Z:" + sqliteFile).c_str());
    list.push_back({"SQLite", L"DRIVER={SQLite3};Database=" + sqliteFile, L"BLOB", L"length", L"", L"rowid"});
    const char* pg = std::getenv("KORVANE_PG_CONNECTION");
    list.push_back({"PostgreSQL", pg ? widen(pg) : std::wstring(), L"bytea", L"octet_length",
                    L"rid serial PRIMARY KEY, ", L"rid"});
    return list;
  }();
  return all;
}

std::wstring tableName(const wchar_t* base) {
  return std::wstring(base) + (sizeof(void*) == 8 ? L"64" : L"32");
}

Database::Database(const Backend& backend) {
  if (backend.connection.empty()) {
    throw std::runtime_error(std::string(backend.name) +
                             " is not reachable: KORVANE_PG_CONNECTION is not set (run the tests "
                             "through ./run test, which starts a PostgreSQL server)");
  }
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
  SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
  std::wstring connection = backend.connection;
  SQLWCHAR out[1024];
  SQLSMALLINT outLength = 0;
  const SQLRETURN rc = SQLDriverConnectW(dbc_, nullptr, reinterpret_cast<SQLWCHAR*>(connection.data()), SQL_NTS,
                                         out, 1024, &outLength, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    const std::wstring message = diagnostics(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
    throw std::runtime_error(std::string(backend.name) + " is not reachable: " + narrow(message));
  }
}

Database::~Database() {
  SQLDisconnect(dbc_);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

void Database::execute(const std::wstring& sql) {
  StatementOwner s(dbc_);
  check(SQLExecDirectW(s.h, reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(sql.c_str())), SQL_NTS),
        SQL_HANDLE_STMT, s.h, sql);
}

std::optional<std::wstring> Database::text(const std::wstring& sql) {
  StatementOwner s(dbc_);
  check(SQLExecDirectW(s.h, reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(sql.c_str())), SQL_NTS),
        SQL_HANDLE_STMT, s.h, sql);
  if (SQLFetch(s.h) != SQL_SUCCESS) throw std::runtime_error(narrow(L"no row: " + sql));
  SQLWCHAR value[4096];
  SQLLEN indicator = 0;
  check(SQLGetData(s.h, 1, SQL_C_WCHAR, value, sizeof value, &indicator), SQL_HANDLE_STMT, s.h, sql);
  if (indicator == SQL_NULL_DATA) return std::nullopt;
  return std::wstring(reinterpret_cast<wchar_t*>(value));
}

std::optional<std::vector<std::byte>> Database::bytes(const std::wstring& sql) {
  StatementOwner s(dbc_);
  check(SQLExecDirectW(s.h, reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(sql.c_str())), SQL_NTS),
        SQL_HANDLE_STMT, s.h, sql);
  if (SQLFetch(s.h) != SQL_SUCCESS) throw std::runtime_error(narrow(L"no row: " + sql));
  std::vector<std::byte> data;
  for (;;) {
    std::byte piece[65536];
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(s.h, 1, SQL_C_BINARY, piece, sizeof piece, &indicator);
    if (rc == SQL_NO_DATA) break;
    check(rc, SQL_HANDLE_STMT, s.h, sql);
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    const size_t count = indicator == SQL_NO_TOTAL || indicator > SQLLEN(sizeof piece) ? sizeof piece : size_t(indicator);
    data.insert(data.end(), piece, piece + count);
    if (rc == SQL_SUCCESS) break;
  }
  return data;
}

std::int64_t Database::number(const std::wstring& sql) {
  const auto value = text(sql);
  return value ? std::stoll(*value) : -1;
}

bool Database::tableExists(const std::wstring& table) {
  StatementOwner s(dbc_);
  const std::wstring sql = L"SELECT COUNT(*) FROM " + table;
  return SQL_SUCCEEDED(SQLExecDirectW(s.h, reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(sql.c_str())), SQL_NTS));
}

void Database::insert(const std::wstring& table, int id, const std::optional<std::vector<std::byte>>& data) {
  StatementOwner s(dbc_);
  const std::wstring sql = L"INSERT INTO " + table + L" (id, img) VALUES (?, ?)";
  check(SQLPrepareW(s.h, reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(sql.c_str())), SQL_NTS),
        SQL_HANDLE_STMT, s.h, sql);
  SQLINTEGER key = id;
  SQLLEN keyIndicator = 0;
  check(SQLBindParameter(s.h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &key, 0, &keyIndicator),
        SQL_HANDLE_STMT, s.h, sql);
  std::byte empty{};
  SQLLEN dataIndicator = data ? SQLLEN(data->size()) : SQL_NULL_DATA;
  void* buffer = data && !data->empty() ? const_cast<std::byte*>(data->data()) : &empty;
  check(SQLBindParameter(s.h, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
                         data ? std::max<SQLULEN>(data->size(), 1) : 1, 0, buffer,
                         data ? SQLLEN(data->size()) : 0, &dataIndicator),
        SQL_HANDLE_STMT, s.h, sql);
  check(SQLExecute(s.h), SQL_HANDLE_STMT, s.h, sql);
}

void fillPattern(std::byte* out, std::size_t size, std::uint64_t offset, std::uint32_t seed) {
  // A cheap hash of the position: any offset can be produced on its own.
  for (std::size_t i = 0; i < size; ++i) {
    std::uint64_t x = (offset + i) * 0x9E3779B97F4A7C15ull + seed;
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    out[i] = std::byte(x >> 56);
  }
}

std::vector<std::byte> pattern(std::size_t size, std::uint32_t seed) {
  std::vector<std::byte> data(size);
  fillPattern(data.data(), size, 0, seed);
  return data;
}

std::wstring scratchFolder(const wchar_t* name) {
  std::wstring folder = L"Z:" + unixDataDir() + L"/" + name + (sizeof(void*) == 8 ? L"64" : L"32");
  for (auto& c : folder) {
    if (c == L'/') c = L'\\';
  }
  CreateDirectoryW(folder.c_str(), nullptr);
  for (const auto& file : filesIn(folder + L"\\")) DeleteFileW((folder + L"\\" + file).c_str());
  return folder + L"\\";
}

void writeFile(const std::wstring& path, const std::vector<std::byte>& data) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  REQUIRE(h != INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(h, data.data(), DWORD(data.size()), &written, nullptr);
  CloseHandle(h);
  REQUIRE(written == data.size());
}

std::optional<std::vector<std::byte>> readFile(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<std::byte> data(GetFileSize(h, nullptr));
  DWORD read = 0;
  ReadFile(h, data.data(), DWORD(data.size()), &read, nullptr);
  CloseHandle(h);
  return data;
}

std::vector<std::wstring> filesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW((folder + L"*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(h, &found));
  FindClose(h);
  return names;
}

VARIANT integerId(int value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

VARIANT missingId() {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_ERROR;
  V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
  return v;
}

}  // namespace korvane::test
