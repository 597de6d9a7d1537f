#include "ContractTestSupport.h"

#include "TestSupport.h"
#include "TypeInfoReading.h"

namespace doctest {
String StringMaker<std::wstring>::convert(const std::wstring& text) {
  return ("\"" + korvane::test::narrow(text) + "\"").c_str();
}
}  // namespace doctest

namespace korvane::test {

ComPtr<ITypeLib> loadTypeLibrary() {
  ComPtr<ITypeLib> lib;
  REQUIRE(LoadTypeLibEx(dllPath().c_str(), REGKIND_NONE, lib.put()) == S_OK);
  return lib;
}

ComPtr<ITypeInfo> typeAt(ITypeLib& lib, UINT index) {
  ComPtr<ITypeInfo> info;
  REQUIRE(lib.GetTypeInfo(index, info.put()) == S_OK);
  return info;
}

ComPtr<ITypeInfo> memberView(const ComPtr<ITypeInfo>& type, const ExpectedType& expected) {
  return expected.kind == TKIND_INTERFACE ? contract::vtableView(*type.get()) : type;
}

std::wstring cppName(const wchar_t* name, INVOKEKIND kind) {
  switch (kind) {
    case INVOKE_PROPERTYGET: return std::wstring(L"get_") + name;
    case INVOKE_PROPERTYPUT: return std::wstring(L"put_") + name;
    default: return name;
  }
}

std::string describe(const ExpectedType& type) { return "type " + narrow(type.name); }

std::string describe(const ExpectedType& type, const ExpectedFunction& function) {
  return narrow(type.name) + "." + narrow(cppName(function.name, function.invokeKind));
}

}  // namespace korvane::test
