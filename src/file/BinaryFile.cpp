#include "file/BinaryFile.h"

#include "support/AnsiText.h"

namespace korvane {

namespace {

// The longest 8-bit name the ANSI file functions take, without its zero byte.
constexpr std::size_t MaxNameBytes = MAX_PATH - 1;

IoFailure lastIoFailure() {
  return IoFailure(static_cast<int>(GetLastError()));
}

// A longer name would not fit the system's room for it, and a zero character
// would cut the name short and open a different file than the one named.
bool systemTakesAsGiven(const std::string& name) {
  return name.size() <= MaxNameBytes && name.find('\0') == std::string::npos;
}

}  // namespace

void BinaryFile::Bind(std::wstring_view name) {
  std::string converted = toAnsi(name);
  owned_ = UniqueHandle();
  name_ = std::move(converted);
  state_ = State::Closed;
}

void BinaryFile::OpenExisting() { open(OPEN_EXISTING, STD_INPUT_HANDLE); }

void BinaryFile::CreateOrTruncate() { open(CREATE_ALWAYS, STD_OUTPUT_HANDLE); }

void BinaryFile::open(DWORD disposition, DWORD standardHandle) {
  if (state_ == State::Unbound) throw IoFailure(io::NotBound);
  owned_ = UniqueHandle();
  state_ = State::Closed;

  HANDLE handle;
  if (name_.empty()) {
    handle = GetStdHandle(standardHandle);
  } else {
    if (!systemTakesAsGiven(name_)) throw IoFailure(ERROR_PATH_NOT_FOUND);
    handle = CreateFileA(name_.c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  // Only INVALID_HANDLE_VALUE is a failed open: a process without a standard
  // handle gets a null one, and its first transfer fails instead.
  if (handle == INVALID_HANDLE_VALUE) throw lastIoFailure();

  if (!name_.empty()) owned_ = UniqueHandle(handle);
  handle_ = handle;
  state_ = State::Open;
}

void BinaryFile::requireOpen() const {
  if (state_ != State::Open) throw IoFailure(io::NotOpen);
}

HANDLE BinaryFile::openHandle() const {
  requireOpen();
  return handle_;
}

// The system would take a negative count as more than 2 GiB.
HANDLE BinaryFile::transferHandle(long count) const {
  const HANDLE handle = openHandle();
  if (count < 0) throw IoFailure(ERROR_INVALID_PARAMETER);
  return handle;
}

long BinaryFile::ReadBlock(void* destination, long count) {
  const HANDLE handle = transferHandle(count);
  DWORD read = 0;
  if (!ReadFile(handle, destination, static_cast<DWORD>(count), &read, nullptr)) {
    throw lastIoFailure();
  }
  return static_cast<long>(read);
}

long BinaryFile::WriteBlock(const void* source, long count) {
  const HANDLE handle = transferHandle(count);
  DWORD written = 0;
  if (!WriteFile(handle, source, static_cast<DWORD>(count), &written, nullptr)) {
    throw lastIoFailure();
  }
  return static_cast<long>(written);
}

std::int64_t BinaryFile::Size() const {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(openHandle(), &size)) throw lastIoFailure();
  return size.QuadPart;
}

std::int64_t BinaryFile::Position() const {
  LARGE_INTEGER position;
  if (!SetFilePointerEx(openHandle(), LARGE_INTEGER{}, &position, FILE_CURRENT)) {
    throw lastIoFailure();
  }
  return position.QuadPart;
}

bool BinaryFile::AtEnd() const {
  const std::int64_t position = Position();
  return position >= Size();
}

void BinaryFile::Close() {
  requireOpen();
  state_ = State::Closed;
  handle_ = nullptr;
  const HANDLE owned = owned_.release();
  if (owned && !CloseHandle(owned)) throw IoFailure(io::CloseRefused);
}

}  // namespace korvane
