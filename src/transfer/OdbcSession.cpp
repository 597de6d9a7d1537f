#include "transfer/OdbcSession.h"

#include "file/IoFailure.h"
#include "support/Failure.h"
#include "transfer/ByteArray.h"

#include <algorithm>
#include <array>

namespace korvane {

using odbc::check;

// A temporary file that collects the chunks of a field for drivers that need
// the whole length before the first byte. It deletes itself when closed.
class OdbcSession::Spool {
 public:
  Spool() {
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH || !GetTempFileNameW(folder, L"kvs", 0, name)) {
      throw IoFailure(static_cast<int>(GetLastError()));
    }
    file_ = UniqueHandle(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file_.valid()) {
      const DWORD error = GetLastError();
      DeleteFileW(name);
      throw IoFailure(static_cast<int>(error));
    }
  }

  std::int64_t size() const { return size_; }

  void write(std::span<const std::byte> bytes) {
    DWORD written = 0;
    if (!WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      throw IoFailure(static_cast<int>(GetLastError()));
    }
    if (written != bytes.size()) throw IoFailure(101);  // "Disk full"
    size_ += written;
  }

  void rewind() {
    if (SetFilePointer(file_.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
      throw IoFailure(static_cast<int>(GetLastError()));
    }
  }

  std::span<const std::byte> read(std::span<std::byte> buffer) {
    DWORD count = 0;
    if (!ReadFile(file_.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &count, nullptr)) {
      throw IoFailure(static_cast<int>(GetLastError()));
    }
    return buffer.first(count);
  }

 private:
  UniqueHandle file_;
  std::int64_t size_ = 0;
};

OdbcSession::OdbcSession(const std::wstring& connectionString, const SessionSource& source)
    : environment_(odbc::Environment::allocate(SQL_NULL_HANDLE)) {
  check(SQLSetEnvAttr(environment_.get(), SQL_ATTR_ODBC_VERSION,
                      reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
        SQL_HANDLE_ENV, environment_.get());
  connection_ = std::make_unique<odbc::Connection>(environment_, connectionString);
  check(SQLSetConnectAttrW(connection_->get(), SQL_ATTR_AUTOCOMMIT,
                           reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
        *connection_);

  SQLWCHAR text[8] = {};
  SQLSMALLINT length = 0;
  if (SQL_SUCCEEDED(SQLGetInfoW(connection_->get(), SQL_IDENTIFIER_QUOTE_CHAR, text, sizeof text, &length)) &&
      text[0] != L' ' && text[0] != 0) {
    quote_ = text[0];
  }
  if (SQL_SUCCEEDED(SQLGetInfoW(connection_->get(), SQL_NEED_LONG_DATA_LEN, text, sizeof text, &length))) {
    needsLength_ = text[0] == L'Y';
  }

  std::visit([this](const auto& s) {
    if constexpr (std::is_same_v<std::decay_t<decltype(s)>, TableRows>) {
      openTableRows(s);
    } else {
      openKeyedRow(s);
    }
  }, source);
}

OdbcSession::~OdbcSession() { close(); }

void OdbcSession::openTableRows(const TableRows& rows) {
  table_ = sql(rows.table);
  imageField_ = sql(rows.imageField);
  imageName_ = rows.imageField.unqualified();

  // Asks the database about the names before anything else: a wrong table or
  // field fails here, and the result tells the table's name as stored.
  odbc::Statement probe = connection_->newStatement();
  std::wstring columns = imageField_;
  if (rows.keyField) columns += L", " + sql(*rows.keyField);
  check(SQLExecDirectW(probe.get(),
                       reinterpret_cast<SQLWCHAR*>(
                           (L"SELECT " + columns + L" FROM " + table_ + L" WHERE 1=0").data()),
                       SQL_NTS),
        probe);
  if (!rows.keyField) return;

  identityColumns_ = rowIdentifier(probe, rows.table);
  probe.reset();
  std::wstring select;
  for (const std::wstring& column : identityColumns_) select += column + L", ";
  executeRows(L"SELECT " + select + sql(*rows.keyField) + L" FROM " + table_);
  for (SQLUSMALLINT column = 1; column <= identityColumns_.size(); ++column) {
    identityTypes_.push_back(odbc::describeColumn(rows_, column).sqlType);
  }
  const auto key = static_cast<SQLUSMALLINT>(identityColumns_.size() + 1);
  fields_.push_back({rows.keyField->unqualified(), key, odbc::describeColumn(rows_, key).sqlType});
  fetch();
}

void OdbcSession::openKeyedRow(const KeyedRow& row) {
  table_ = sql(row.table);
  imageField_ = sql(row.imageField);
  rows_ = connection_->newStatement();
  const std::wstring select =
      L"SELECT " + imageField_ + L" FROM " + table_ + L" WHERE " + sql(row.keyField) + L" = ?";
  check(SQLPrepareW(rows_.get(), reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(select.c_str())), SQL_NTS),
        rows_);

  // The bound key must outlive SQLExecute only; it lives in this frame.
  SqlKey key = row.key;
  SQLLEN indicator = 0;
  SQLRETURN rc;
  if (auto* whole = std::get_if<std::int64_t>(&key)) {
    rc = SQLBindParameter(rows_.get(), 1, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, whole, 0, &indicator);
  } else if (auto* real = std::get_if<double>(&key)) {
    rc = SQLBindParameter(rows_.get(), 1, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, real, 0, &indicator);
  } else {
    auto& text = std::get<std::wstring>(key);
    indicator = static_cast<SQLLEN>(text.size() * sizeof(wchar_t));
    rc = SQLBindParameter(rows_.get(), 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR,
                          std::max<SQLULEN>(text.size(), 1), 0, text.data(), indicator, &indicator);
  }
  check(rc, rows_);
  check(SQLExecute(rows_.get()), rows_);
  SQLFreeStmt(rows_.get(), SQL_RESET_PARAMS);
  fields_.push_back({row.imageField.unqualified(), 1, odbc::describeColumn(rows_, 1).sqlType});
  fetch();
}

// The columns that tell one row of the table from every other: the
// driver's best row identifier, else the primary key.
std::vector<std::wstring> OdbcSession::rowIdentifier(const odbc::Statement& probe, const SqlName& table) {
  const auto attribute = [&](SQLUSMALLINT which) {
    SQLWCHAR text[256] = {};
    SQLSMALLINT length = 0;
    SQLColAttributeW(probe.get(), 1, which, text, sizeof text, &length, nullptr);
    return std::wstring(reinterpret_cast<const wchar_t*>(text));
  };
  std::wstring name = attribute(SQL_DESC_BASE_TABLE_NAME);
  if (name.empty()) name = table.unqualified();
  std::wstring schema = attribute(SQL_DESC_SCHEMA_NAME);
  std::wstring catalog = attribute(SQL_DESC_CATALOG_NAME);
  const auto argument = [](std::wstring& s) { return s.empty() ? nullptr : reinterpret_cast<SQLWCHAR*>(s.data()); };
  const auto size = [](const std::wstring& s) { return s.empty() ? SQLSMALLINT{0} : SQLSMALLINT{SQL_NTS}; };

  const auto columnsOf = [&](bool bestRowId) {
    odbc::Statement catalogQuery = connection_->newStatement();
    SQLUSMALLINT nameColumn = 4;
    if (bestRowId) {
      check(SQLSpecialColumnsW(catalogQuery.get(), SQL_BEST_ROWID, argument(catalog), size(catalog),
                               argument(schema), size(schema), argument(name), size(name),
                               SQL_SCOPE_CURROW, SQL_NULLABLE),
            catalogQuery);
      nameColumn = 2;
    } else {
      check(SQLPrimaryKeysW(catalogQuery.get(), argument(catalog), size(catalog), argument(schema),
                            size(schema), argument(name), size(name)),
            catalogQuery);
    }
    std::vector<std::wstring> columns;
    while (true) {
      const SQLRETURN rc = SQLFetch(catalogQuery.get());
      if (rc == SQL_NO_DATA) break;
      check(rc, catalogQuery);
      const Variant column = odbc::readValue(catalogQuery, nameColumn, SQL_WVARCHAR);
      if (V_VT(column.get()) != VT_BSTR) continue;
      const std::wstring text(V_BSTR(column.get()), SysStringLen(V_BSTR(column.get())));
      columns.push_back(quote_ + text + quote_);
    }
    return columns;
  };

  std::vector<std::wstring> columns = columnsOf(true);
  if (columns.empty()) columns = columnsOf(false);
  if (columns.empty()) {
    throw Failure(L"Table " + table.text() +
                  L" has neither a row identifier nor a primary key: a row found by its key cannot "
                  L"be told apart from the others");
  }
  return columns;
}

void OdbcSession::executeRows(const std::wstring& select) {
  rows_ = connection_->newStatement();
  check(SQLExecDirectW(rows_.get(), reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(select.c_str())), SQL_NTS),
        rows_);
}

void OdbcSession::fetch() {
  currentValue_.reset();
  identity_.clear();
  const SQLRETURN rc = SQLFetch(rows_.get());
  onRow_ = rc != SQL_NO_DATA;
  if (!onRow_) return;
  check(rc, rows_);
  // Identifier columns come first, so they are read before any field.
  for (SQLUSMALLINT column = 1; column <= identityColumns_.size(); ++column) {
    const Variant value = odbc::readValue(rows_, column, SQL_WVARCHAR);
    if (V_VT(value.get()) != VT_BSTR) throw Failure(L"A row of table " + table_ + L" has no row identifier");
    identity_.emplace_back(V_BSTR(value.get()), SysStringLen(V_BSTR(value.get())));
  }
}

bool OdbcSession::atEnd() { return target_ != Target::NewRow && !onRow_; }

void OdbcSession::moveNext() {
  if (!onRow_) throw Failure(L"There is no current row to move from");
  fetch();
}

const OdbcSession::Field& OdbcSession::field(const SqlName& name) const {
  for (const Field& f : fields_) {
    if (name.names(f.name)) return f;
  }
  throw Failure(L"Field " + name.text() + L" is not available in this session");
}

const OdbcSession::Field& OdbcSession::currentField(const SqlName& name) const {
  const Field& f = field(name);
  if (!onRow_ || target_ == Target::NewRow) throw Failure(L"There is no current row");
  return f;
}

Variant OdbcSession::value(const SqlName& name) {
  const Field& f = currentField(name);
  if (!currentValue_) currentValue_ = odbc::readValue(rows_, f.column, f.sqlType);
  Variant copy;
  throwIfFailed(VariantCopy(copy.get(), currentValue_->get()), L"Copying a field value");
  return copy;
}

std::int64_t OdbcSession::actualSize(const SqlName& name) {
  const Field& f = currentField(name);
  // A read of no bytes tells the length and leaves the data where they are.
  std::byte none[1];
  SQLLEN length = 0;
  const SQLSMALLINT cType = odbc::isBinaryType(f.sqlType) ? SQL_C_BINARY : SQL_C_WCHAR;
  const SQLRETURN rc = SQLGetData(rows_.get(), f.column, cType, none, 0, &length);
  if (rc == SQL_NO_DATA) return 0;
  check(rc, rows_);
  if (length == SQL_NULL_DATA) return 0;
  if (length == SQL_NO_TOTAL) throw Failure(L"The ODBC driver does not tell the size of field " + name.text());
  return length;
}

Variant OdbcSession::getChunk(const SqlName& name, long length) {
  const Field& f = currentField(name);
  if (odbc::isBinaryType(f.sqlType)) return odbc::readBytes(rows_, f.column, length);
  return odbc::readValue(rows_, f.column, f.sqlType);
}

void OdbcSession::addNew() {
  if (storing_ || spool_) throw Failure(L"A row is being written already");
  target_ = Target::NewRow;
}

void OdbcSession::appendChunk(const SqlName& name, const VARIANT& chunk) {
  if (!name.names(imageName_)) {
    throw Failure(L"Field " + name.text() + L" is not the field this session writes");
  }
  if (!storing_ && target_ == Target::Current && !onRow_) {
    throw Failure(L"There is no current row to write into");
  }
  if (!isByteArray(chunk)) throw Failure(L"A chunk must be an array of bytes");
  const ByteArrayData data(chunk);
  if (needsLength_) {
    if (!spool_) spool_ = std::make_unique<Spool>();
    spool_->write(data.bytes());
    return;
  }
  if (!storing_) beginStore(SQL_DATA_AT_EXEC);
  sendPiece(data.bytes());
}

// Prepares the INSERT of a new row or the UPDATE of the current one, with the
// field as a data-at-execution parameter, and runs it up to the first piece.
void OdbcSession::beginStore(SQLLEN lengthIndicator) {
  std::wstring statement;
  if (target_ == Target::NewRow) {
    statement = L"INSERT INTO " + table_ + L" (" + imageField_ + L") VALUES (?)";
  } else {
    statement = L"UPDATE " + table_ + L" SET " + imageField_ + L" = ? WHERE ";
    for (size_t i = 0; i < identityColumns_.size(); ++i) {
      statement += (i ? L" AND " : L"") + identityColumns_[i] + L" = ?";
    }
    storeIdentity_ = identity_;
  }
  // The search is over; its cursor must not hold the rows being changed.
  SQLFreeStmt(rows_.get(), SQL_CLOSE);
  onRow_ = false;

  store_ = connection_->newStatement();
  check(SQLPrepareW(store_.get(), reinterpret_cast<SQLWCHAR*>(statement.data()), SQL_NTS), store_);
  storeLength_ = lengthIndicator;
  // The token handed back by SQLParamData is the parameter number.
  check(SQLBindParameter(store_.get(), 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0,
                         reinterpret_cast<SQLPOINTER>(1), 0, &storeLength_),
        store_);
  storeIndicators_.assign(storeIdentity_.size(), SQL_NTS);
  for (size_t i = 0; i < storeIdentity_.size(); ++i) {
    std::wstring& value = storeIdentity_[i];
    check(SQLBindParameter(store_.get(), static_cast<SQLUSMALLINT>(i + 2), SQL_PARAM_INPUT, SQL_C_WCHAR,
                           identityTypes_[i], std::max<SQLULEN>(value.size(), 1), 0, value.data(),
                           static_cast<SQLLEN>((value.size() + 1) * sizeof(wchar_t)), &storeIndicators_[i]),
          store_);
  }
  SQLRETURN rc = SQLExecute(store_.get());
  if (rc != SQL_NEED_DATA) {
    check(rc, store_);
    throw Failure(L"The ODBC driver did not ask for the field's data");
  }
  SQLPOINTER token = nullptr;
  rc = SQLParamData(store_.get(), &token);
  if (rc != SQL_NEED_DATA) {
    check(rc, store_);
    throw Failure(L"The ODBC driver did not ask for the field's data");
  }
  storing_ = true;
}

void OdbcSession::sendPiece(std::span<const std::byte> bytes) {
  check(SQLPutData(store_.get(), const_cast<std::byte*>(bytes.data()), static_cast<SQLLEN>(bytes.size())),
        store_);
}

void OdbcSession::finishStore() {
  SQLPOINTER token = nullptr;
  const SQLRETURN rc = SQLParamData(store_.get(), &token);
  if (rc != SQL_NO_DATA) check(rc, store_);
  SQLLEN changed = 0;
  check(SQLRowCount(store_.get(), &changed), store_);
  if (changed != 1) throw Failure(L"The row to write was changed or deleted meanwhile");
  storing_ = false;
  store_.reset();
}

void OdbcSession::executeDirect(const std::wstring& statement) {
  odbc::Statement direct = connection_->newStatement();
  check(SQLExecDirectW(direct.get(), reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(statement.c_str())), SQL_NTS),
        direct);
}

void OdbcSession::update() {
  if (spool_) {
    // Streams the spooled chunks now that their whole length is known.
    beginStore(SQL_LEN_DATA_AT_EXEC(spool_->size()));
    spool_->rewind();
    std::array<std::byte, 65536> buffer;
    for (auto piece = spool_->read(buffer); !piece.empty(); piece = spool_->read(buffer)) sendPiece(piece);
    spool_.reset();
  }
  if (storing_) {
    finishStore();
  } else if (target_ == Target::NewRow) {
    // No chunk: the row is added with what the database gives a new row.
    executeDirect(L"INSERT INTO " + table_ + L" DEFAULT VALUES");
  }
  check(SQLEndTran(SQL_HANDLE_DBC, connection_->get(), SQL_COMMIT), *connection_);
  target_ = Target::Current;
}

void OdbcSession::close() {
  spool_.reset();
  store_.reset();
  rows_.reset();
  connection_.reset();  // rolls back what update did not commit
  environment_.reset();
  onRow_ = false;
  storing_ = false;
}

}  // namespace korvane
