#include "classes/UCKorvane.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "server/ErrorBoundary.h"
#include "support/AnsiText.h"
#include "support/Bstr.h"
#include "support/RegKey.h"

namespace korvane {

namespace {

// A value's name and its data are each read into 255 bytes: names of up to
// 254 characters and data of up to 255 bytes; anything longer is the
// registry's ERROR_MORE_DATA.
constexpr DWORD registryBufferSize = 255;

// Room for the longest name GetComputerNameA reports (15 characters) and its
// terminating zero.
constexpr DWORD computerNameBufferSize = MAX_COMPUTERNAME_LENGTH + 1;

// Automation clients hand key handles over as 32-bit longs. On Win64 the
// predefined keys are 32-bit values sign-extended to pointer width
// (HKEY_CURRENT_USER is 0xFFFFFFFF80000001), so sign extension turns the long
// back into the very handle the client means.
HKEY keyFromLong(long mhkey) {
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(mhkey));
}

// The key whose values are enumerated: the named sub-key of the caller's key,
// or the caller's key itself when the name is empty. Only a key opened here
// is owned and closed; the caller's own key stays open for the caller.
class EnumeratedKey {
 public:
  EnumeratedKey(HKEY parent, BSTR subKeyName) {
    const std::string name = toAnsi(Bstr::view(subKeyName));
    // The result is not examined: a sub-key that cannot be opened leaves the
    // handle null, and the enumeration then reports the registry's code.
    RegOpenKeyA(parent, name.empty() ? nullptr : name.c_str(), &handle_);
    if (handle_ != parent) opened_ = RegKey(handle_);
  }

  HKEY get() const { return handle_; }

 private:
  HKEY handle_ = nullptr;
  RegKey opened_;
};

// One value as RegEnumValueA stores it into the fixed buffers.
struct EnumeratedValue {
  std::array<char, registryBufferSize> name;
  DWORD nameLength = registryBufferSize;
  std::array<BYTE, registryBufferSize> data;
  DWORD dataSize = registryBufferSize;

  // The index reaches the registry as an unsigned index (a negative one is
  // past every value); the caller's type cell, if any, is filled directly.
  LSTATUS read(HKEY key, long index, long* type) {
    return RegEnumValueA(key, static_cast<DWORD>(index), name.data(), &nameLength, nullptr,
                         reinterpret_cast<DWORD*>(type), data.data(), &dataSize);
  }

  std::string_view nameBytes() const {
    const size_t length = std::min<size_t>(nameLength, name.size());
    return {name.data(), strnlen(name.data(), length)};
  }

  std::span<const BYTE> dataBytes() const { return std::span(data).first(std::min<size_t>(dataSize, data.size())); }
};

// Registry data as text, one byte at a time through the ANSI code page:
// numbers and binary data keep one character per byte, zero bytes included,
// instead of ending at the first zero or pairing bytes into characters.
std::wstring textOfEachByte(std::span<const BYTE> data) {
  std::wstring text;
  text.reserve(data.size());
  for (const BYTE byte : data) {
    const char single = static_cast<char>(byte);
    text += fromAnsi(std::string_view(&single, 1));
  }
  return text;
}

// Frees the string in a caller's variable and stores a new one there (null
// for empty text). A null address is an optional argument the caller left
// out: nothing is written.
void replaceCallerString(BSTR* variable, std::wstring_view text) {
  if (!variable) return;
  Bstr replacement(text);
  SysFreeString(std::exchange(*variable, replacement.detach()));
}

std::wstring computerName() {
  std::array<char, computerNameBufferSize> buffer;
  DWORD length = buffer.size();
  // After a failure the length cell holds the size the name would need, not
  // a length within the buffer.
  if (!GetComputerNameA(buffer.data(), &length)) return {};
  return fromAnsi(std::string_view(buffer.data(), length));
}

}  // namespace

long TCKorvane::RegEnumValue(long mhkey, BSTR SubKeyName, long Index, BSTR* ValueName, long* ValueType,
                             BSTR* Value) {
  if (!ValueName) return -1;
  return callReportingCode([&] {
    const EnumeratedKey key(keyFromLong(mhkey), SubKeyName);
    EnumeratedValue found;
    const LSTATUS code = found.read(key.get(), Index, ValueType);
    // Whatever the outcome, the caller's strings are freed: after a failure
    // both are left empty.
    replaceCallerString(Value, {});
    replaceCallerString(ValueName, {});
    if (code == ERROR_SUCCESS) {
      replaceCallerString(ValueName, fromAnsi(found.nameBytes()));
      replaceCallerString(Value, textOfEachByte(found.dataBytes()));
    }
    return static_cast<long>(code);
  });
}

void TCKorvane::GetcomputerName(VARIANT* Name) {
  if (!Name) return;
  // An out parameter: what the caller left in it is not ours to free.
  std::memset(Name, 0, sizeof *Name);
  try {
    V_BSTR(Name) = Bstr(computerName()).detach();
    V_VT(Name) = VT_BSTR;
  } catch (...) {
    // The method has no way to report a failure; Name stays empty.
  }
}

}  // namespace korvane
