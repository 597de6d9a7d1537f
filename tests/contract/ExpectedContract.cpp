#include "ExpectedContract.h"

#include <stdexcept>
#include <string_view>

namespace korvane::test {
namespace {

constexpr USHORT in = PARAMFLAG_FIN;
constexpr USHORT out = PARAMFLAG_FOUT;
constexpr USHORT retval = PARAMFLAG_FRETVAL;
constexpr USHORT optional = PARAMFLAG_FOPT;
constexpr USHORT hasDefault = PARAMFLAG_FHASDEFAULT;

constexpr INT implDefault = IMPLTYPEFLAG_FDEFAULT;
constexpr INT implSource = IMPLTYPEFLAG_FSOURCE;

}  // namespace

const ExpectedLibrary expectedLibrary{
    L"Korvane", L"{11D16520-7AE6-11D5-B967-CFB214CA5731}", 1, 0, 0, L"Korvane Support"};

const ExpectedImport expectedImport{L"stdole", L"{00020430-0000-0000-C000-000000000046}", 2, 0, 0};

const ExpectedBase expectedBases[2] = {
    {L"IUnknown", L"{00000000-0000-0000-C000-000000000046}", 3},
    {L"IDispatch", L"{00020400-0000-0000-C000-000000000046}", 7},
};

const std::vector<ExpectedType> expectedTypes = {
    {L"ICKorvane", TKIND_INTERFACE, L"{11D16521-7AE6-11D5-B967-CFB214CA5731}",
     TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION, L"Interface for CKorvane Object", L"IUnknown", 5,
     {
         {L"RegEnumValue", 1, INVOKE_FUNC, L"long", L"Implements windows API registry values enumeration",
          {
              {L"mhkey", L"long", in},
              {L"SubKeyName", L"BSTR", in},
              {L"Index", L"long", in},
              {L"ValueName", L"BSTR*", in},
              {L"ValueType", L"long*", in | out | optional},
              {L"Value", L"BSTR*", in | out | optional},
          }},
         {L"GetcomputerName", 3, INVOKE_FUNC, L"void", L"Returns the local computer's name",
          {
              {L"Name", L"VARIANT*", out},
          }},
     },
     {}},
    {L"CKorvane", TKIND_COCLASS, L"{11D16523-7AE6-11D5-B967-CFB214CA5731}", TYPEFLAG_FCANCREATE, L"CKorvane Object",
     nullptr, 0, {},
     {
         {L"ICKorvane", implDefault},
     }},
    {L"ICInOutFileDB", TKIND_INTERFACE, L"{BBC52032-2363-47D3-B5EE-21DBA0742B91}",
     TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE, L"Dispatch interface for CInOutFileDB Object",
     L"IDispatch", 9,
     {
         {L"WriteFileToDatabase", 2, INVOKE_FUNC, L"VARIANT_BOOL", nullptr,
          {
              {L"ConStr", L"BSTR", in},
              {L"FileName", L"BSTR", in},
              {L"BufferSize", L"long", in},
              {L"Table", L"BSTR", in},
              {L"ImageField", L"BSTR", in},
              {L"IDField", L"BSTR", in | optional | hasDefault, {VT_BSTR, L"ID"}},
              {L"ID", L"VARIANT", in | optional},
          }},
         {L"ReadFileFromDatabase", 4, INVOKE_FUNC, L"VARIANT_BOOL", nullptr,
          {
              {L"ConStr", L"BSTR", in},
              {L"FileName", L"BSTR", in},
              {L"BufferSize", L"long", in},
              {L"Table", L"BSTR", in},
              {L"ImageField", L"BSTR", in},
              {L"IDField", L"BSTR", in},
              {L"ID", L"VARIANT", in},
          }},
     },
     {}},
    {L"ICInOutFileDBEvents", TKIND_DISPATCH, L"{565DB578-019D-46C3-BDE7-BFB835BB4D64}", TYPEFLAG_FDISPATCHABLE,
     L"Events interface for CInOutFileDB Object", L"IDispatch", 0,
     {
         {L"OnPercentComplete", 1, INVOKE_FUNC, L"HRESULT", nullptr,
          {
              {L"Percentage", L"long", in},
              {L"Cancel", L"VARIANT_BOOL*", in | out | hasDefault, {VT_BOOL, nullptr, VARIANT_FALSE}},
          }},
     },
     {}},
    {L"CInOutFileDB", TKIND_COCLASS, L"{1374AD38-5DD3-492F-AD74-98498F926E07}", TYPEFLAG_FCANCREATE,
     L"CInOutFileDB Object", nullptr, 0, {},
     {
         {L"ICInOutFileDB", implDefault},
         {L"ICInOutFileDBEvents", implDefault | implSource},
     }},
    {L"ICFileAccess", TKIND_INTERFACE, L"{49138D78-BC01-40A9-A330-A3D5448BBD11}",
     TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE, L"Dispatch interface for CFileAccess Object",
     L"IDispatch", 15,
     {
         {L"Reset", 1, INVOKE_FUNC, L"HRESULT", nullptr, {{L"RetValue", L"VARIANT_BOOL*", out | retval}}},
         {L"Rewrite", 2, INVOKE_FUNC, L"HRESULT", nullptr, {{L"RetValue", L"VARIANT_BOOL*", out | retval}}},
         {L"Close", 3, INVOKE_FUNC, L"HRESULT", nullptr, {{L"RetValue", L"VARIANT_BOOL*", out | retval}}},
         {L"State", 4, INVOKE_PROPERTYGET, L"HRESULT", nullptr, {{L"Value", L"long*", out | retval}}},
         {L"FileName", 5, INVOKE_PROPERTYGET, L"HRESULT", nullptr, {{L"Value", L"BSTR*", out | retval}}},
         {L"FileName", 5, INVOKE_PROPERTYPUT, L"HRESULT", nullptr, {{nullptr, L"BSTR", in}}},
         {L"BlockRead", 6, INVOKE_FUNC, L"HRESULT", nullptr,
          {
              {L"Buffer", L"void", in},
              {L"BufferSize", L"long", in},
              {L"NumRead", L"long*", out | retval},
          }},
         {L"BlockWrite", 8, INVOKE_FUNC, L"HRESULT", nullptr,
          {
              {L"Buffer", L"void", in},
              {L"BufferSize", L"long", in},
              {L"NumWritten", L"long*", out | retval},
          }},
     },
     {}},
    {L"ICFileAccessEvents", TKIND_DISPATCH, L"{65FA28F1-F0A4-411E-A5A7-B15B30A0794C}", TYPEFLAG_FDISPATCHABLE,
     L"Events interface for CFileAccess Object", L"IDispatch", 0, {}, {}},
    {L"CFileAccess", TKIND_COCLASS, L"{A318BBBA-BAE9-4A00-B48E-92E3E9175AB7}", TYPEFLAG_FCANCREATE,
     L"CFileAccess Object", nullptr, 0, {},
     {
         {L"ICFileAccess", implDefault},
         {L"ICFileAccessEvents", implDefault | implSource},
     }},
};

const ExpectedBase& expectedBase(const wchar_t* name) {
  for (const ExpectedBase& base : expectedBases) {
    if (std::wstring_view(base.name) == name) return base;
  }
  throw std::invalid_argument("no such base interface");
}

}  // namespace korvane::test
