// The ODBC backend of DatabaseSession, on the wide ODBC functions.
//
// Writing runs in one transaction (autocommit off): update commits, and a
// session closed or failing before update leaves the database as it was.
// The field is streamed with data-at-execution parameters, one SQLPutData per
// chunk; a driver that must know the whole length first gets the chunks
// spooled to a temporary file and streamed at update, so that memory never
// holds more than a chunk. An existing row is changed through its row
// identifier (SQLSpecialColumns, else the primary key), so that of rows with
// equal keys only the one found is written.
//
// Names go into SQL as SqlName renders them, with the driver's identifier
// quote for enclosed parts; the key of a read is a bound parameter.
#pragma once
#include "support/Handle.h"
#include "transfer/DatabaseSession.h"
#include "transfer/OdbcHandles.h"
#include "transfer/OdbcValues.h"

#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace korvane {

class OdbcSession final : public DatabaseSession {
 public:
  OdbcSession(const std::wstring& connectionString, const SessionSource& source);
  ~OdbcSession() override;

  bool atEnd() override;
  void moveNext() override;
  Variant value(const SqlName& field) override;
  std::int64_t actualSize(const SqlName& field) override;
  Variant getChunk(const SqlName& field, long length) override;
  void addNew() override;
  void appendChunk(const SqlName& field, const VARIANT& chunk) override;
  void update() override;
  void close() override;

 private:
  // A column of the rows' statement that a field name can ask for.
  struct Field {
    std::wstring name;
    SQLUSMALLINT column;
    SQLSMALLINT sqlType;
  };
  enum class Target { Current, NewRow };
  class Spool;

  void openTableRows(const TableRows& rows);
  void openKeyedRow(const KeyedRow& row);
  std::vector<std::wstring> rowIdentifier(const odbc::Statement& probe, const SqlName& table);
  void executeRows(const std::wstring& sql);
  void fetch();
  const Field& field(const SqlName& name) const;
  const Field& currentField(const SqlName& name) const;
  std::wstring sql(const SqlName& name) const { return name.render(quote_); }

  void beginStore(SQLLEN lengthIndicator);
  void sendPiece(std::span<const std::byte> bytes);
  void finishStore();
  void executeDirect(const std::wstring& statement);

  odbc::Environment environment_;
  std::unique_ptr<odbc::Connection> connection_;
  wchar_t quote_ = L'"';
  bool needsLength_ = false;

  std::wstring table_;                        // as SQL
  std::wstring imageField_;                   // as SQL
  std::wstring imageName_;                    // as the database names the column
  std::vector<std::wstring> identityColumns_; // as SQL: the row identifier
  odbc::Statement rows_;
  std::vector<Field> fields_;
  bool onRow_ = false;
  std::vector<std::wstring> identity_;        // the current row's identifier values
  std::vector<SQLSMALLINT> identityTypes_;
  std::optional<Variant> currentValue_;       // a value already taken from the current row

  Target target_ = Target::Current;
  odbc::Statement store_;
  std::vector<std::wstring> storeIdentity_;   // bound while store_ runs
  std::vector<SQLLEN> storeIndicators_;
  SQLLEN storeLength_ = 0;
  bool storing_ = false;
  std::unique_ptr<Spool> spool_;
};

}  // namespace korvane
