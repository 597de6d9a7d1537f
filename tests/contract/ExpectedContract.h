// The contract as compiled clients know it, written out literally: the
// library, its eight types in order, every member and parameter. The tests
// compare the library read back from the built DLL with this, so a change to
// Korvane.idl that a client would notice fails them.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <vector>

namespace korvane::test {

struct ExpectedDefault {
  VARTYPE type = VT_EMPTY;  // VT_EMPTY: no default
  const wchar_t* text = nullptr;  // VT_BSTR
  long value = 0;                 // VT_BOOL
};

struct ExpectedParam {
  const wchar_t* name;  // nullptr: stored without a name
  const wchar_t* type;  // as IDL spells it: "BSTR*", "void"
  USHORT flags;
  ExpectedDefault defaultValue = {};
};

struct ExpectedFunction {
  const wchar_t* name;
  MEMBERID id;
  INVOKEKIND invokeKind;
  const wchar_t* result;
  const wchar_t* helpString;  // nullptr: none
  std::vector<ExpectedParam> params;
};

struct ExpectedImplemented {
  const wchar_t* name;
  INT flags;
};

struct ExpectedType {
  const wchar_t* name;
  TYPEKIND kind;  // as described: TKIND_INTERFACE, TKIND_DISPATCH or TKIND_COCLASS
  const wchar_t* guid;
  WORD flags;     // as stored; a dual interface's dispatch view reports them differently
  const wchar_t* helpString;
  const wchar_t* parent;  // interfaces and dispinterfaces: IUnknown or IDispatch of stdole2
  int vtableSlots;        // interfaces: the slots of the vtable, inherited ones included
  std::vector<ExpectedFunction> functions;
  std::vector<ExpectedImplemented> implemented;  // coclasses
};

struct ExpectedLibrary {
  const wchar_t* name;
  const wchar_t* guid;
  WORD majorVersion;
  WORD minorVersion;
  LCID lcid;
  const wchar_t* helpString;
};

struct ExpectedImport {
  const wchar_t* name;
  const wchar_t* guid;
  WORD majorVersion;
  WORD minorVersion;
  LCID lcid;
};

struct ExpectedBase {
  const wchar_t* name;
  const wchar_t* guid;
  int slots;
};

extern const ExpectedLibrary expectedLibrary;
extern const ExpectedImport expectedImport;        // stdole2.tlb
extern const ExpectedBase expectedBases[2];        // IUnknown, IDispatch
extern const std::vector<ExpectedType> expectedTypes;  // in the library's order

const ExpectedBase& expectedBase(const wchar_t* name);

}  // namespace korvane::test
