// A type library as plain data: contractgen.py writes the Korvane library in
// this form (TypeLibDescription.inc) and mktypelib turns it into the binary
// library. Values are the ones stored in the library (VT_*, PARAMFLAG_*,
// TYPEFLAG_*, IMPLTYPEFLAG_*), so the table reads like the result.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <span>

namespace korvane::contract {

// An automation base type behind `pointers` levels of VT_PTR.
struct TypeRef {
  VARTYPE base;
  int pointers;
};

// A parameter's default value, held in the parameter's base type.
struct DefaultValue {
  VARTYPE type;           // VT_EMPTY: the parameter has no default
  long integer;           // for VT_I4 and VT_BOOL
  const wchar_t* text;    // for VT_BSTR
};

struct ParamDescription {
  const wchar_t* name;    // nullptr: stored without a name
  TypeRef type;
  USHORT flags;           // includes PARAMFLAG_FHASDEFAULT exactly when there is a default
  DefaultValue defaultValue;
};

// A member of an interface (pure virtual, stdcall) or of a dispinterface
// (dispatch function, stdcall). Its vtable slot follows from its position.
struct FunctionDescription {
  const wchar_t* name;
  MEMBERID id;
  INVOKEKIND invokeKind;
  TypeRef result;
  const wchar_t* helpString;  // nullptr: none
  std::span<const ParamDescription> params;
};

// An interface that a coclass names, by its name in the same library.
struct ImplementedType {
  const wchar_t* name;
  INT flags;              // IMPLTYPEFLAG_*
};

struct TypeDescription {
  const wchar_t* name;
  TYPEKIND kind;          // TKIND_INTERFACE, TKIND_DISPATCH or TKIND_COCLASS
  GUID guid;
  WORD majorVersion;
  WORD minorVersion;
  WORD flags;             // TYPEFLAG_*
  const wchar_t* helpString;  // nullptr: none
  // Interfaces and dispinterfaces: the base type, found by name in this
  // library or in an imported one. nullptr for coclasses.
  const wchar_t* parent;
  std::span<const FunctionDescription> functions;
  std::span<const ImplementedType> implemented;  // coclasses only
};

struct LibraryDescription {
  const wchar_t* name;
  GUID guid;
  WORD majorVersion;
  WORD minorVersion;
  LCID lcid;
  const wchar_t* helpString;
  std::span<const wchar_t* const> importedLibraries;  // file names for LoadTypeLib
  std::span<const TypeDescription> types;             // in the library's order
};

}  // namespace korvane::contract
