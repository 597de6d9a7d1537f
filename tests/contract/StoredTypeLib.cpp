#include "StoredTypeLib.h"

#include <cstring>
#include <memory>
#include <stdexcept>
#include <type_traits>

namespace korvane::test {
namespace {

// The stored ("MSFT") layout, as far as the names of a function go: a
// header, one offset per type, a directory of segments; the type records
// point at a block of function records, followed by the functions' DISPIDs
// and name offsets; each function record ends with one entry per parameter.
constexpr DWORD formatMagic = 0x5446534D;  // "MSFT"
constexpr size_t headerSize = 0x54;
constexpr size_t headerHashLocaleAt = 0x0C;
constexpr size_t headerFlagsAt = 0x14;     // system kind and flags
constexpr size_t headerTypeCountAt = 0x20;
constexpr LONG helpDllFlag = 0x100;        // one more field after the header
constexpr size_t segmentEntrySize = 16;
constexpr int typeInfoSegment = 0;
constexpr int nameSegment = 7;

constexpr size_t typeRecordSize = 0x64;
constexpr size_t typeMembersAt = 0x04;     // file offset of the member block
constexpr size_t typeElementCountAt = 0x18;  // functions low word, variables high word

constexpr size_t functionArgCountAt = 0x14;
constexpr size_t parameterEntrySize = 12;
constexpr size_t parameterNameAt = 4;      // name offset, -1 for none

constexpr size_t nameLengthAt = 8;         // low byte
constexpr size_t nameTextAt = 12;

using ModuleOwner = std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)>;

}  // namespace

StoredTypeLib StoredTypeLib::fromModule(const std::wstring& path) {
  ModuleOwner module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), &FreeLibrary);
  if (!module) throw std::runtime_error("the module cannot be loaded as data");
  HRSRC resource = FindResourceW(module.get(), MAKEINTRESOURCEW(1), L"TYPELIB");
  HGLOBAL loaded = resource ? LoadResource(module.get(), resource) : nullptr;
  const auto* bytes = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
  if (!bytes) throw std::runtime_error("the module has no TYPELIB 1 resource");
  StoredTypeLib lib(std::vector<BYTE>(bytes, bytes + SizeofResource(module.get(), resource)));
  if (lib.read<DWORD>(0) != formatMagic) throw std::runtime_error("the type library is not in the MSFT format");
  return lib;
}

template <class T>
T StoredTypeLib::read(size_t offset) const {
  if (offset > image_.size() || image_.size() - offset < sizeof(T)) {
    throw std::out_of_range("a type library record lies outside the resource");
  }
  T value;
  std::memcpy(&value, image_.data() + offset, sizeof(T));
  return value;
}

size_t StoredTypeLib::segment(int index) const {
  const size_t typeCount = read<LONG>(headerTypeCountAt);
  const size_t helpDll = (read<LONG>(headerFlagsAt) & helpDllFlag) ? sizeof(LONG) : 0;
  const size_t directory = headerSize + helpDll + typeCount * sizeof(LONG);
  return read<LONG>(directory + index * segmentEntrySize);
}

LCID StoredTypeLib::hashLocale() const { return read<LCID>(headerHashLocaleAt); }

std::wstring StoredTypeLib::name(LONG offset) const {
  const size_t at = segment(nameSegment) + offset;
  const size_t length = read<LONG>(at + nameLengthAt) & 0xFF;
  std::wstring text;
  for (size_t index = 0; index < length; ++index) text += wchar_t(read<char>(at + nameTextAt + index));
  return text;
}

StoredFunctionNames StoredTypeLib::names(UINT type, UINT function) const {
  if (type >= UINT(read<LONG>(headerTypeCountAt))) throw std::out_of_range("no such type");
  const size_t record = segment(typeInfoSegment) + type * typeRecordSize;
  const size_t members = read<LONG>(record + typeMembersAt);
  const LONG elements = read<LONG>(record + typeElementCountAt);
  const UINT functionCount = LOWORD(elements);
  const UINT memberCount = functionCount + HIWORD(elements);
  if (function >= functionCount) throw std::out_of_range("no such function");

  // The records follow the block's length; after the block come the DISPIDs
  // of all members, then their name offsets.
  const size_t blockLength = read<LONG>(members);
  size_t at = members + sizeof(LONG);
  for (UINT skipped = 0; skipped < function; ++skipped) at += read<LONG>(at) & 0xFFFF;
  const size_t recordLength = read<LONG>(at) & 0xFFFF;
  const size_t argCount = read<SHORT>(at + functionArgCountAt);

  StoredFunctionNames result;
  const size_t nameOffsets = members + sizeof(LONG) + blockLength + memberCount * sizeof(LONG);
  result.function = name(read<LONG>(nameOffsets + function * sizeof(LONG)));
  for (size_t param = 0; param < argCount; ++param) {
    const size_t entry = at + recordLength - (argCount - param) * parameterEntrySize;
    const LONG nameOffset = read<LONG>(entry + parameterNameAt);
    result.params.push_back(nameOffset == -1 ? std::nullopt : std::optional(name(nameOffset)));
  }
  return result;
}

}  // namespace korvane::test
