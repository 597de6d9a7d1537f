#include "transfer/OdbcHandles.h"

#include "support/Failure.h"

#include <new>

namespace korvane::odbc {

template <SQLSMALLINT Type>
Handle<Type> Handle<Type>::allocate(SQLHANDLE parent) {
  Handle result;
  const SQLRETURN rc = SQLAllocHandle(Type, parent, &result.h_);
  if (!SQL_SUCCEEDED(rc)) {
    if (parent == SQL_NULL_HANDLE) throw Failure(L"The ODBC driver manager cannot be used");
    check(rc, Type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV, parent);
  }
  return result;
}

template class Handle<SQL_HANDLE_ENV>;
template class Handle<SQL_HANDLE_DBC>;
template class Handle<SQL_HANDLE_STMT>;

Connection::Connection(const Environment& environment, const std::wstring& connectionString)
    : dbc_(Handle<SQL_HANDLE_DBC>::allocate(environment.get())) {
  SQLWCHAR completed[1024];
  SQLSMALLINT completedLength = 0;
  std::wstring text = connectionString;
  check(SQLDriverConnectW(dbc_.get(), nullptr, reinterpret_cast<SQLWCHAR*>(text.data()),
                          static_cast<SQLSMALLINT>(text.size()), completed,
                          sizeof completed / sizeof *completed, &completedLength,
                          SQL_DRIVER_NOPROMPT),
        SQL_HANDLE_DBC, dbc_.get());
}

Connection::~Connection() {
  SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
  SQLDisconnect(dbc_.get());
}

Statement Connection::newStatement() const { return Statement::allocate(dbc_.get()); }

std::wstring diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::wstring text;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLWCHAR state[6];
    SQLINTEGER nativeError = 0;
    SQLWCHAR message[SQL_MAX_MESSAGE_LENGTH];
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &nativeError, message,
                                        sizeof message / sizeof *message, &length);
    if (!SQL_SUCCEEDED(rc)) break;
    if (!text.empty()) text += L"\n";
    text += reinterpret_cast<const wchar_t*>(message);
  }
  return text;
}

void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle) {
  if (SQL_SUCCEEDED(rc)) return;
  std::wstring text = diagnostics(type, handle);
  if (text.empty()) text = L"The ODBC call failed with code " + std::to_wstring(rc);
  throw Failure(text);
}

}  // namespace korvane::odbc
