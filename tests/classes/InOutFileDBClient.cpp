#include "InOutFileDBClient.h"

#include "support/Bstr.h"

#include <utility>

namespace korvane::test {

ComPtr<ICInOutFileDB> LoadedServer::create() const {
  ComPtr<ICInOutFileDB> object;
  REQUIRE(module_.create(CLSID_CInOutFileDB, IID_ICInOutFileDB, object.put()) == S_OK);
  return object;
}

ComPtr<ICInOutFileDB> RegisteredServer::create() const {
  CLSID clsid{};
  REQUIRE(CLSIDFromProgID(L"Korvane.CInOutFileDB", &clsid) == S_OK);
  CHECK(IsEqualCLSID(clsid, CLSID_CInOutFileDB));
  ComPtr<ICInOutFileDB> object;
  REQUIRE(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ICInOutFileDB, object.putVoid()) == S_OK);
  return object;
}

HRESULT RegisteredServer::canUnloadNow() const {
  const HMODULE module = GetModuleHandleW(L"Korvane.dll");
  REQUIRE(module != nullptr);
  const auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  if (!canUnload) FAIL("Korvane.dll does not export DllCanUnloadNow");
  return canUnload();
}

InOutFileDBClient::InOutFileDBClient(const Backend& backend, const wchar_t* name, ComPtr<ICInOutFileDB> created)
    : TransferFixture(backend, (std::wstring(name) + TestServer::tag).c_str()), object(std::move(created)) {
  REQUIRE(object);
  ComPtr<IConnectionPointContainer> container;
  REQUIRE(object.query(IID_IConnectionPointContainer, container) == S_OK);
  REQUIRE(container->FindConnectionPoint(DIID_ICInOutFileDBEvents, point.put()) == S_OK);
  REQUIRE(point->Advise(&sink, &cookie) == S_OK);
}

InOutFileDBClient::~InOutFileDBClient() {
  disconnect();
}

void InOutFileDBClient::disconnect() {
  if (cookie) CHECK(point->Unadvise(std::exchange(cookie, 0)) == S_OK);
}

void InOutFileDBClient::release() {
  disconnect();
  point.reset();
  object.reset();
}

TransferCall InOutFileDBClient::call(const std::wstring& file, long bufferSize, const VARIANT& id) const {
  TransferCall c;
  c.connection = backend.connection;
  c.fileName = folder + file;
  c.bufferSize = bufferSize;
  c.table = table;
  c.id = id;
  return c;
}

VARIANT_BOOL InOutFileDBClient::transfer(Direction direction, const TransferCall& c) {
  const Bstr connection(c.connection), fileName(c.fileName), tableName(c.table), imageField(c.imageField),
      idField(c.idField);
  // ID goes by value: the object reads it and never frees it.
  const auto method = direction == Direction::Write ? &ICInOutFileDB::WriteFileToDatabase
                                                    : &ICInOutFileDB::ReadFileFromDatabase;
  return (object.get()->*method)(connection.get(), fileName.get(), c.bufferSize, tableName.get(), imageField.get(),
                                 idField.get(), c.id);
}

std::optional<ErrorObject> takeErrorObject() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK || !info) return std::nullopt;
  ErrorObject error{};
  Bstr source, description;
  CHECK(info->GetGUID(&error.guid) == S_OK);
  CHECK(info->GetSource(source.put()) == S_OK);
  CHECK(info->GetDescription(description.put()) == S_OK);
  error.source = source.view();
  error.description = description.view();
  return error;
}

void leaveStaleErrorObject() {
  ComPtr<ICreateErrorInfo> created;
  REQUIRE(CreateErrorInfo(created.put()) == S_OK);
  created->SetDescription(const_cast<LPOLESTR>(L"stale"));
  ComPtr<IErrorInfo> info;
  REQUIRE(created.query(IID_IErrorInfo, info) == S_OK);
  REQUIRE(SetErrorInfo(0, info.get()) == S_OK);
}

VARIANT nullId() {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_NULL;
  return v;
}

Variant textId(const wchar_t* text) {
  Variant v;
  V_VT(v.get()) = VT_BSTR;
  V_BSTR(v.get()) = SysAllocString(text);
  return v;
}

}  // namespace korvane::test
