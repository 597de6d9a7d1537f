// The type library resource of a module, read as stored, for the one thing
// ITypeInfo cannot show: the names of each function's parameters by the
// function's position. ITypeInfo::GetNames answers per DISPID, and the get
// and put of a property share one, so the put's names are out of its reach.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace korvane::test {

struct StoredFunctionNames {
  std::wstring function;
  std::vector<std::optional<std::wstring>> params;  // no value: stored without a name
};

class StoredTypeLib {
 public:
  // The resource "TYPELIB" 1 of the module at `path`.
  static StoredTypeLib fromModule(const std::wstring& path);

  // The locale under which the library hashes its names.
  LCID hashLocale() const;

  // The names stored for function `function` (by position) of type `type`.
  StoredFunctionNames names(UINT type, UINT function) const;

 private:
  explicit StoredTypeLib(std::vector<BYTE> image) : image_(std::move(image)) {}

  template <class T>
  T read(size_t offset) const;
  size_t segment(int index) const;
  std::wstring name(LONG offset) const;

  std::vector<BYTE> image_;
};

}  // namespace korvane::test
