// Writing a local file into a database field.
#include "file/BinaryFile.h"
#include "support/Failure.h"
#include "transfer/ByteArray.h"
#include "transfer/DatabaseSession.h"
#include "transfer/KeyComparison.h"
#include "transfer/TransferProgress.h"
#include "transfer/Transfers.h"

namespace korvane {
namespace {

// An omitted optional argument arrives as DISP_E_PARAMNOTFOUND.
bool asksForNewRow(const VARIANT& id) {
  return V_VT(&id) == VT_NULL || (V_VT(&id) == VT_ERROR && V_ERROR(&id) == DISP_E_PARAMNOTFOUND);
}

// Moves to the first row, from the current one on, whose key equals `id`.
bool findRow(DatabaseSession& session, const SqlName& keyField, const VARIANT& id) {
  for (; !session.atEnd(); session.moveNext()) {
    if (keysEqual(*session.value(keyField).get(), id)) return true;
  }
  return false;
}

}  // namespace

void checkBufferSize(long bufferSize) {
  if (bufferSize < 1 || bufferSize > MaxBufferSize) {
    throw Failure(L"BufferSize must be between 1 and " + std::to_wstring(MaxBufferSize));
  }
}

bool writeFileToDatabase(std::wstring_view connectionString, std::wstring_view fileName,
                         long bufferSize, std::wstring_view table, std::wstring_view imageField,
                         std::wstring_view idField, const VARIANT& id, ProgressEvents* events) {
  checkBufferSize(bufferSize);
  const bool newRow = asksForNewRow(id);
  TableRows rows{SqlName::parse(L"Table", table), SqlName::parse(L"ImageField", imageField), {}};
  if (!newRow) rows.keyField = SqlName::parse(L"IDField", idField);

  BinaryFile file;
  file.Bind(fileName);
  file.OpenExisting();
  auto session = openSession(connectionString, rows);

  if (newRow) {
    session->addNew();
  } else if (!findRow(*session, *rows.keyField, id)) {
    session->close();
    file.Close();
    return false;
  }

  TransferProgress progress(events, file.Size(), bufferSize);
  progress.begin();
  // One chunk array for the whole transfer, read into directly; it is sized
  // to each chunk's bytes before it goes to the session.
  Variant chunk = makeByteArray(bufferSize);
  long chunkSize = bufferSize;
  while (!file.AtEnd()) {
    if (chunkSize != bufferSize) resizeByteArray(chunk, chunkSize = bufferSize);
    const long count = file.ReadBlock(ByteArrayData(*chunk.get()).bytes().data(), bufferSize);
    if (count != chunkSize) resizeByteArray(chunk, chunkSize = count);
    session->appendChunk(rows.imageField, *chunk.get());
    if (progress.afterChunk()) break;
  }
  progress.finish();

  file.Close();
  session->update();
  session->close();
  return true;
}

}  // namespace korvane
