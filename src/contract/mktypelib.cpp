// Writes the Korvane type library from the table that contractgen.py makes of
// Korvane.idl (TypeLibDescription.inc). Runs at build time under Wine, once
// per bitness, and writes the library for its own system kind: SYS_WIN32 from
// the Win32 build, SYS_WIN64 from the Win64 build.
//
// Both libraries come from the same description. What differs is derived by
// the system from the pointer size: the vtable offsets and sizes (8 bytes a
// slot), the instance size and alignment, and the in-memory sizes it records
// for each function. A parameter's stack size is not stored at all, so the
// by-value void Buffer is VT_VOID in both; that it takes a pointer-sized slot
// is a matter of the calling convention, and Korvane_TLB.h declares it void*.
//
// Every call is checked. The first failure ends the program with a message
// naming the call and the item, a non-zero exit code and no library file, so
// that a description the system refuses breaks the build.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "TypeLibDescription.inc"
#include "support/Bstr.h"
#include "support/ComPtr.h"
#include "support/Failure.h"

namespace korvane::contract {
namespace {

constexpr SYSKIND ownSystemKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

// Raises a Failure naming the call and the item it was writing.
void check(HRESULT hr, const wchar_t* call, const std::wstring& item) {
  if (SUCCEEDED(hr)) return;
  wchar_t code[16];
  std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
  throw Failure(std::wstring(call) + L" failed for " + item + L" (" + code + L")", hr);
}

// The creation interfaces take non-const strings but do not change them.
LPOLESTR olestr(const wchar_t* text) { return const_cast<LPOLESTR>(text); }

// The TYPEDESC chains, default values and ELEMDESCs of one function, alive
// until AddFuncDesc has copied them. The deques keep the addresses stable.
class FunctionStorage {
 public:
  FunctionStorage() = default;
  FunctionStorage(const FunctionStorage&) = delete;
  FunctionStorage& operator=(const FunctionStorage&) = delete;
  ~FunctionStorage() {
    for (auto& value : defaults_) VariantClear(&value.varDefaultValue);
  }

  // A TYPEDESC for `type`: VT_PTR links down to the base type.
  TYPEDESC describe(TypeRef type) {
    TYPEDESC desc{};
    desc.vt = type.base;
    for (int level = 0; level < type.pointers; ++level) {
      TYPEDESC& inner = pointees_.emplace_back(desc);
      desc = {};
      desc.vt = VT_PTR;
      desc.lptdesc = &inner;
    }
    return desc;
  }

  ELEMDESC describe(const ParamDescription& param, const std::wstring& where) {
    ELEMDESC desc{};
    desc.tdesc = describe(param.type);
    desc.paramdesc.wParamFlags = param.flags;
    const bool hasDefault = param.defaultValue.type != VT_EMPTY;
    if (hasDefault != ((param.flags & PARAMFLAG_FHASDEFAULT) != 0)) {
      throw Failure(L"the default value and PARAMFLAG_FHASDEFAULT disagree for " + where);
    }
    if (hasDefault) desc.paramdesc.pparamdescex = defaultValue(param.defaultValue, where);
    return desc;
  }

 private:
  PARAMDESCEX* defaultValue(const DefaultValue& value, const std::wstring& where) {
    PARAMDESCEX& ex = defaults_.emplace_back();
    ex.cBytes = sizeof(PARAMDESCEX);
    VariantInit(&ex.varDefaultValue);
    switch (value.type) {
      case VT_BSTR:
        V_BSTR(&ex.varDefaultValue) = SysAllocString(value.text);
        if (!V_BSTR(&ex.varDefaultValue)) check(E_OUTOFMEMORY, L"SysAllocString", where);
        break;
      case VT_BOOL:
        V_BOOL(&ex.varDefaultValue) = value.integer ? VARIANT_TRUE : VARIANT_FALSE;
        break;
      case VT_I4:
        V_I4(&ex.varDefaultValue) = value.integer;
        break;
      default:
        throw Failure(L"unsupported type of default value for " + where);
    }
    V_VT(&ex.varDefaultValue) = value.type;
    return &ex;
  }

  std::deque<TYPEDESC> pointees_;
  std::deque<PARAMDESCEX> defaults_;
};

std::wstring functionName(const TypeDescription& type, const FunctionDescription& function) {
  const wchar_t* accessor = function.invokeKind == INVOKE_PROPERTYGET   ? L" (get)"
                            : function.invokeKind == INVOKE_PROPERTYPUT ? L" (put)"
                                                                        : L"";
  return std::wstring(type.name) + L"." + function.name + accessor;
}

// The names SetFuncAndParamNames takes: the function's, then its parameters'.
// Only the last parameter can go without a name: the value of a property put,
// for which the system takes no name (it refuses one).
std::vector<LPOLESTR> functionAndParamNames(const FunctionDescription& function, const std::wstring& where) {
  std::vector<LPOLESTR> names{olestr(function.name)};
  bool unnamedSeen = false;
  for (const ParamDescription& param : function.params) {
    if (unnamedSeen) throw Failure(L"a parameter without a name must be the last one in " + where);
    if (param.name) {
      names.push_back(olestr(param.name));
    } else {
      unnamedSeen = true;
    }
  }
  return names;
}

class LibraryWriter {
 public:
  LibraryWriter(const LibraryDescription& library, const wchar_t* path) : library_(library), path_(path) {}

  void write() {
    check(CreateTypeLib2(ownSystemKind, olestr(path_), lib_.put()), L"CreateTypeLib2", path_);
    describeLibrary();
    loadImports();
    createTypes();
    for (size_t index = 0; index < library_.types.size(); ++index) describeType(index);
    for (size_t index = 0; index < library_.types.size(); ++index) {
      check(types_[index]->LayOut(), L"ICreateTypeInfo::LayOut", library_.types[index].name);
    }
    check(lib_->SaveAllChanges(), L"ICreateTypeLib::SaveAllChanges", path_);
  }

 private:
  void describeLibrary() {
    const std::wstring item = std::wstring(L"library ") + library_.name;
    check(lib_->SetName(olestr(library_.name)), L"ICreateTypeLib::SetName", item);
    check(lib_->SetGuid(library_.guid), L"ICreateTypeLib::SetGuid", item);
    check(lib_->SetVersion(library_.majorVersion, library_.minorVersion), L"ICreateTypeLib::SetVersion", item);
    check(lib_->SetLcid(library_.lcid), L"ICreateTypeLib::SetLcid", item);
    check(lib_->SetLibFlags(0), L"ICreateTypeLib::SetLibFlags", item);
    if (library_.helpString) {
      check(lib_->SetDocString(olestr(library_.helpString)), L"ICreateTypeLib::SetDocString", item);
    }
  }

  void loadImports() {
    for (const wchar_t* name : library_.importedLibraries) {
      check(LoadTypeLib(name, imports_.emplace_back().put()), L"LoadTypeLib", name);
    }
  }

  // All types exist before any is described, so that references can point
  // to any of them.
  void createTypes() {
    for (const TypeDescription& type : library_.types) {
      ComPtr<ICreateTypeInfo> created;
      check(lib_->CreateTypeInfo(olestr(type.name), type.kind, created.put()), L"ICreateTypeLib::CreateTypeInfo",
            type.name);
      check(created.query(IID_ICreateTypeInfo2, types_.emplace_back()), L"QueryInterface(ICreateTypeInfo2)",
            type.name);
    }
  }

  void describeType(size_t index) {
    const TypeDescription& type = library_.types[index];
    ICreateTypeInfo2& info = *types_[index].get();
    check(info.SetGuid(type.guid), L"ICreateTypeInfo::SetGuid", type.name);
    check(info.SetVersion(type.majorVersion, type.minorVersion), L"ICreateTypeInfo::SetVersion", type.name);
    if (type.helpString) check(info.SetDocString(olestr(type.helpString)), L"ICreateTypeInfo::SetDocString", type.name);
    if (type.parent) check(info.AddImplType(0, reference(info, type.parent)), L"ICreateTypeInfo::AddImplType", type.name);
    const FUNCKIND functionKind = type.kind == TKIND_DISPATCH ? FUNC_DISPATCH : FUNC_PUREVIRTUAL;
    for (size_t member = 0; member < type.functions.size(); ++member) {
      addFunction(info, UINT(member), functionKind, functionName(type, type.functions[member]), type.functions[member]);
    }
    for (size_t entry = 0; entry < type.implemented.size(); ++entry) {
      const ImplementedType& implemented = type.implemented[entry];
      const std::wstring item = std::wstring(type.name) + L" implementing " + implemented.name;
      check(info.AddImplType(UINT(entry), reference(info, implemented.name)), L"ICreateTypeInfo::AddImplType", item);
      check(info.SetImplTypeFlags(UINT(entry), implemented.flags), L"ICreateTypeInfo::SetImplTypeFlags", item);
    }
    check(info.SetTypeFlags(type.flags), L"ICreateTypeInfo::SetTypeFlags", type.name);
  }

  void addFunction(ICreateTypeInfo2& info, UINT index, FUNCKIND kind, const std::wstring& where,
                   const FunctionDescription& function) {
    FunctionStorage storage;
    std::vector<ELEMDESC> params;
    for (const ParamDescription& param : function.params) params.push_back(storage.describe(param, where));

    FUNCDESC desc{};
    desc.memid = function.id;
    desc.funckind = kind;
    desc.invkind = function.invokeKind;
    desc.callconv = CC_STDCALL;
    desc.cParams = SHORT(params.size());
    desc.lprgelemdescParam = params.data();
    desc.elemdescFunc.tdesc = storage.describe(function.result);
    check(info.AddFuncDesc(index, &desc), L"ICreateTypeInfo::AddFuncDesc", where);

    std::vector<LPOLESTR> names = functionAndParamNames(function, where);
    check(info.SetFuncAndParamNames(index, names.data(), UINT(names.size())),
          L"ICreateTypeInfo::SetFuncAndParamNames", where);
    if (function.helpString) {
      check(info.SetFuncDocString(index, olestr(function.helpString)), L"ICreateTypeInfo::SetFuncDocString", where);
    }
  }

  // A reference from `from` to the named type of this library or of an
  // imported one.
  HREFTYPE reference(ICreateTypeInfo2& from, const wchar_t* name) {
    ComPtr<ITypeInfo> target = findType(name);
    HREFTYPE reference = 0;
    check(from.AddRefTypeInfo(target.get(), &reference), L"ICreateTypeInfo::AddRefTypeInfo", name);
    return reference;
  }

  ComPtr<ITypeInfo> findType(const wchar_t* name) {
    ComPtr<ITypeInfo> found;
    for (size_t index = 0; index < library_.types.size(); ++index) {
      if (std::wstring_view(library_.types[index].name) == name) {
        check(types_[index].query(IID_ITypeInfo, found), L"QueryInterface(ITypeInfo)", name);
        return found;
      }
    }
    for (const ComPtr<ITypeLib>& imported : imports_) {
      const UINT count = imported->GetTypeInfoCount();
      for (UINT index = 0; index < count; ++index) {
        Bstr typeName;
        check(imported->GetDocumentation(INT(index), typeName.put(), nullptr, nullptr, nullptr),
              L"ITypeLib::GetDocumentation", name);
        if (typeName.view() == name) {
          check(imported->GetTypeInfo(index, found.put()), L"ITypeLib::GetTypeInfo", name);
          return found;
        }
      }
    }
    throw Failure(std::wstring(L"type ") + name + L" is neither in this library nor in an imported one");
  }

  const LibraryDescription& library_;
  const wchar_t* path_;
  ComPtr<ICreateTypeLib2> lib_;
  std::vector<ComPtr<ITypeLib>> imports_;
  std::vector<ComPtr<ICreateTypeInfo2>> types_;
};

// A library file must exist only when it is complete.
bool removeOutput(const wchar_t* path) {
  return DeleteFileW(path) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace
}  // namespace korvane::contract

int wmain(int argc, wchar_t** argv) {
  using namespace korvane::contract;
  if (argc != 2) {
    std::fwprintf(stderr, L"usage: mktypelib <output.tlb>\n");
    return 2;
  }
  const wchar_t* path = argv[1];
  try {
    if (!removeOutput(path)) check(HRESULT_FROM_WIN32(GetLastError()), L"DeleteFile", path);
    LibraryWriter(describedLibrary, path).write();
    return 0;
  } catch (const korvane::Failure& failure) {
    std::fwprintf(stderr, L"mktypelib: %ls\n", failure.message().c_str());
  } catch (const std::exception& error) {
    std::fwprintf(stderr, L"mktypelib: %hs\n", error.what());
  }
  if (!removeOutput(path)) std::fwprintf(stderr, L"mktypelib: could not remove the incomplete %ls\n", path);
  return 1;
}
