// Reading a database field into a local file.
#include "file/BinaryFile.h"
#include "support/AnsiText.h"
#include "support/Failure.h"
#include "transfer/ByteArray.h"
#include "transfer/DatabaseSession.h"
#include "transfer/TransferProgress.h"
#include "transfer/Transfers.h"

#include <atomic>
#include <optional>

namespace korvane {
namespace {

// The file a read writes: a temporary file beside the target, which takes
// the target's place only when the read is kept, so that a failed read never
// costs the target its old content. The empty name is standard output,
// written directly: a stream cannot be taken back.
class TargetFile {
 public:
  explicit TargetFile(std::wstring_view fileName) : target_(toAnsi(fileName)) {
    if (!target_.empty()) temporary_ = temporaryNameBeside(target_);
    file_.Bind(temporary_ ? fromAnsi(*temporary_) : std::wstring());
    file_.CreateOrTruncate();
  }
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;

  ~TargetFile() {
    if (!temporary_) return;
    try {
      file_.Close();
    } catch (const Failure&) {
      // Already closed, or the system refused: the removal below still runs.
    }
    DeleteFileA(temporary_->c_str());
  }

  void write(std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
      const long written = file_.WriteBlock(bytes.data(), static_cast<long>(bytes.size()));
      if (written <= 0) throw IoFailure(101);  // "Disk full"
      bytes = bytes.subspan(static_cast<size_t>(written));
    }
  }

  // Closes the file; a kept one replaces the target, a dropped one is removed.
  void close(bool keep) {
    file_.Close();
    if (!temporary_ || !keep) return;
    if (!MoveFileExA(temporary_->c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      throw IoFailure(static_cast<int>(GetLastError()));
    }
    temporary_.reset();
  }

 private:
  static std::string temporaryNameBeside(const std::string& target) {
    static std::atomic<unsigned> counter;
    const size_t slash = target.find_last_of("\\/:");
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    return folder + "~korvane-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++counter) + ".tmp";
  }

  std::string target_;
  std::optional<std::string> temporary_;
  BinaryFile file_;
};

// The bytes of a chunk as GetChunk answers: a byte array, or nothing for an
// empty array, Null or Empty. Anything else cannot be a chunk.
std::optional<std::span<const std::byte>> chunkBytes(const VARIANT& answer,
                                                     std::optional<ByteArrayData>& access) {
  if (V_VT(&answer) == VT_NULL || V_VT(&answer) == VT_EMPTY) return std::span<const std::byte>{};
  if (!isByteArray(answer)) return std::nullopt;
  access.emplace(answer);
  return access->bytes();
}

}  // namespace

bool readFileFromDatabase(std::wstring_view connectionString, std::wstring_view fileName,
                          long bufferSize, std::wstring_view table, std::wstring_view imageField,
                          std::wstring_view idField, const VARIANT& id, ProgressEvents* events) {
  checkBufferSize(bufferSize);
  const KeyedRow row{SqlName::parse(L"Table", table), SqlName::parse(L"ImageField", imageField),
                     SqlName::parse(L"IDField", idField), parseSqlKey(id)};

  TargetFile file(fileName);
  auto session = openSession(connectionString, row);

  std::int64_t total = 0;
  try {
    total = session->actualSize(row.imageField);
  } catch (const Failure&) {
    total = 0;  // no row, or a size the database does not tell: nothing to read
  }
  TransferProgress progress(events, total, bufferSize);
  progress.begin();

  bool complete = total >= 1;
  while (complete) {
    Variant answer;
    std::optional<ByteArrayData> access;
    std::optional<std::span<const std::byte>> bytes;
    try {
      answer = session->getChunk(row.imageField, bufferSize);
      bytes = chunkBytes(*answer.get(), access);
    } catch (const Failure&) {
    }
    if (!bytes) {
      complete = false;
      break;
    }
    file.write(*bytes);
    if (progress.afterChunk()) break;
    if (bytes->size() < static_cast<size_t>(bufferSize)) break;
  }
  progress.finish();

  file.close(complete);
  session->close();
  return complete;
}

}  // namespace korvane
