// Helpers of the contract tests: the type library of the built DLL, its
// views, and doctest output for wide strings.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "ExpectedContract.h"
#include "support/ComPtr.h"

namespace doctest {
template <>
struct StringMaker<std::wstring> {
  static String convert(const std::wstring& text);
};

template <class T>
struct StringMaker<std::vector<T>> {
  static String convert(const std::vector<T>& items) {
    String text = "{";
    for (size_t index = 0; index < items.size(); ++index) {
      text += (index ? ", " : "") + toString(items[index]);
    }
    return text + "}";
  }
};
}  // namespace doctest

namespace korvane::test {

// The type library embedded in the built Korvane.dll.
ComPtr<ITypeLib> loadTypeLibrary();

ComPtr<ITypeInfo> typeAt(ITypeLib& lib, UINT index);

// Where the type's own functions and vtable layout live: for a described
// interface (stored dual) the vtable view behind the dispatch view that the
// library hands out first, for every other type the type itself.
ComPtr<ITypeInfo> memberView(const ComPtr<ITypeInfo>& type, const ExpectedType& expected);

// The C++ name of a stored function: get_ and put_ for property accessors.
std::wstring cppName(const wchar_t* name, INVOKEKIND kind);

std::string describe(const ExpectedType& type);
std::string describe(const ExpectedType& type, const ExpectedFunction& function);

}  // namespace korvane::test
