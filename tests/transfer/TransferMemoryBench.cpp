// Measures the peak working set of one transfer, for scripts/bench-transfer-memory.
//
//   bench_transfer_memory <mode> <connection> <file> <table>
//
// Modes: write / read run the library's transfers (4096-byte chunks);
// driver-write / driver-read move the same bytes with the plain ODBC calls
// (a whole-length data-at-execution insert, chunked SQLGetData), which shows
// what the driver itself holds; idle only connects. Prints the peak working
// set in MiB. The table has the columns id and img; write adds the row with
// id 1 that read reads.
#include <windows.h>
#include <psapi.h>
#include <sql.h>
#include <sqlext.h>

#include "support/Failure.h"
#include "transfer/Transfers.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

void require(SQLRETURN rc, const char* what) {
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NEED_DATA && rc != SQL_NO_DATA) {
    std::fprintf(stderr, "%s failed (%d)\n", what, rc);
    std::exit(2);
  }
}

struct Odbc {
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT stmt = nullptr;
  explicit Odbc(std::wstring connection) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    require(SQLDriverConnectW(dbc, nullptr, reinterpret_cast<SQLWCHAR*>(connection.data()), SQL_NTS, nullptr, 0,
                              nullptr, SQL_DRIVER_NOPROMPT),
            "connect");
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  }
  ~Odbc() {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
};

void driverWrite(const std::wstring& connection, const std::wstring& file, const std::wstring& table) {
  Odbc odbc(connection);
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  LARGE_INTEGER size{};
  GetFileSizeEx(h, &size);
  std::wstring sql = L"INSERT INTO " + table + L" (id, img) VALUES (1, ?)";
  require(SQLPrepareW(odbc.stmt, reinterpret_cast<SQLWCHAR*>(sql.data()), SQL_NTS), "prepare");
  SQLLEN length = SQL_LEN_DATA_AT_EXEC(size.QuadPart);
  SQLBindParameter(odbc.stmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0,
                   reinterpret_cast<SQLPOINTER>(1), 0, &length);
  require(SQLExecute(odbc.stmt), "execute");
  SQLPOINTER token;
  require(SQLParamData(odbc.stmt, &token), "param data");
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(h, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    require(SQLPutData(odbc.stmt, buffer, read), "put data");
  }
  require(SQLParamData(odbc.stmt, &token), "final param data");
  CloseHandle(h);
}

void driverRead(const std::wstring& connection, const std::wstring& file, const std::wstring& table) {
  Odbc odbc(connection);
  std::wstring sql = L"SELECT img FROM " + table + L" WHERE id = 1";
  require(SQLExecDirectW(odbc.stmt, reinterpret_cast<SQLWCHAR*>(sql.data()), SQL_NTS), "select");
  require(SQLFetch(odbc.stmt), "fetch");
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  char buffer[4096];
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(odbc.stmt, 1, SQL_C_BINARY, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA || !SQL_SUCCEEDED(rc) || indicator == SQL_NULL_DATA) break;
    const DWORD count = indicator == SQL_NO_TOTAL || indicator > SQLLEN(sizeof buffer) ? sizeof buffer : DWORD(indicator);
    DWORD written = 0;
    WriteFile(h, buffer, count, &written, nullptr);
    if (rc == SQL_SUCCESS) break;
  }
  CloseHandle(h);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_transfer_memory <mode> <connection> [<file> <table>]\n");
    return 2;
  }
  const std::wstring mode = argv[1], connection = argv[2];
  const std::wstring file = argc > 3 ? argv[3] : L"", table = argc > 4 ? argv[4] : L"";
  try {
    VARIANT id;
    VariantInit(&id);
    if (mode == L"write") {
      V_VT(&id) = VT_NULL;
      if (!korvane::writeFileToDatabase(connection, file, 4096, table, L"img", L"id", id, nullptr)) return 1;
      Odbc odbc(connection);
      std::wstring sql = L"UPDATE " + table + L" SET id = 1";
      require(SQLExecDirectW(odbc.stmt, reinterpret_cast<SQLWCHAR*>(sql.data()), SQL_NTS), "update");
    } else if (mode == L"read") {
      V_VT(&id) = VT_I4;
      V_I4(&id) = 1;
      if (!korvane::readFileFromDatabase(connection, file, 4096, table, L"img", L"id", id, nullptr)) return 1;
    } else if (mode == L"driver-write") {
      driverWrite(connection, file, table);
    } else if (mode == L"driver-read") {
      driverRead(connection, file, table);
    } else {
      Odbc idle(connection);
    }
  } catch (const korvane::Failure& failure) {
    std::fprintf(stderr, "failed: %ls\n", failure.message().c_str());
    return 1;
  }
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  std::printf("%.1f\n", counters.PeakWorkingSetSize / 1048576.0);
  return 0;
}
