// A C++ client of CInOutFileDB for the tests: one backend's table of files
// (TransferFixture), an object of the class, and a recording event sink
// connected to the object's connection point, as a Visual Basic program with
// WithEvents would have it. The methods are called through the vtable with
// BSTR arguments and ID by value.
//
// The same tests run twice: on objects made by the DLL that the test loads
// itself, and on objects that COM makes from the registration by ProgID
// (KORVANE_REGISTERED_CLIENT), as clients do.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>

#include "EventSink.h"
#include "Korvane_TLB.h"
#include "ServerModule.h"
#include "TransferFixture.h"
#include "support/ComPtr.h"
#include "support/Variant.h"

#include <optional>
#include <string>

namespace korvane::test {

// Objects made by the class object of the DLL loaded into the test.
class LoadedServer {
 public:
  static constexpr const wchar_t* tag = L"";
  ComPtr<ICInOutFileDB> create() const;
  HRESULT canUnloadNow() const { return module_.canUnloadNow(); }

 private:
  ServerModule module_;
};

// Objects made by CoCreateInstance for the ProgID "Korvane.CInOutFileDB".
class RegisteredServer {
 public:
  static constexpr const wchar_t* tag = L"_reg";
  ComPtr<ICInOutFileDB> create() const;
  // Asks the DLL that COM loaded.
  HRESULT canUnloadNow() const;

 private:
  ComApartment apartment_;
};

#if KORVANE_REGISTERED_CLIENT
using TestServer = RegisteredServer;
#else
using TestServer = LoadedServer;
#endif

enum class Direction { Write, Read };

// The arguments of one call; the names default to the fixture's table.
struct TransferCall {
  std::wstring connection;
  std::wstring fileName;
  long bufferSize = 4096;
  std::wstring table;
  std::wstring imageField = L"img";
  std::wstring idField = L"id";
  VARIANT id;
};

class InOutFileDBClient : public TransferFixture {
 public:
  // Makes the table and folder `name` (tagged with the server's route) and
  // connects the sink to `object`.
  InOutFileDBClient(const Backend& backend, const wchar_t* name, ComPtr<ICInOutFileDB> object);
  ~InOutFileDBClient();

  // A call on the fixture's table and scratch folder.
  TransferCall call(const std::wstring& file, long bufferSize, const VARIANT& id) const;
  VARIANT_BOOL transfer(Direction direction, const TransferCall& call);
  VARIANT_BOOL write(const std::wstring& file, long bufferSize, const VARIANT& id) {
    return transfer(Direction::Write, call(file, bufferSize, id));
  }
  VARIANT_BOOL read(const std::wstring& file, long bufferSize, const VARIANT& id) {
    return transfer(Direction::Read, call(file, bufferSize, id));
  }

  void disconnect();
  // Disconnects and drops every reference on the object: afterwards nothing
  // may hold the sink.
  void release();

  // Declared before the object, so that it outlives the object's references.
  EventSink sink{DIID_ICInOutFileDBEvents};
  ComPtr<ICInOutFileDB> object;
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
};

// Runs `body` once per backend with a new object and a sink connected to it.
// Afterwards the client lets go of everything: no reference on the sink may
// remain, and the DLL may unload.
template <class Body>
void onEachBackend(const wchar_t* name, Body body) {
  TestServer server;
  forEachBackend([&](const Backend& backend) {
    {
      InOutFileDBClient client(backend, name, server.create());
      body(client);
      client.release();
      CHECK(client.sink.references() == 0);
    }
    CHECK(server.canUnloadNow() == S_OK);
  });
}

// The error object a call left for the calling thread, taken from it.
struct ErrorObject {
  GUID guid;
  std::wstring source;
  std::wstring description;
};
std::optional<ErrorObject> takeErrorObject();
// Leaves a stale error object for the thread, as an earlier failed call would.
void leaveStaleErrorObject();

VARIANT nullId();
Variant textId(const wchar_t* text);

}  // namespace korvane::test
