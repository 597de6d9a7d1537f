// The connection point of the automation objects: one sink at a time, the
// enumerators, and who keeps whom alive.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>
#include <doctest/doctest.h>

#include "EventSink.h"
#include "Korvane_TLB.h"
#include "ServerModule.h"
#include "support/ComPtr.h"

using korvane::ComPtr;
using korvane::test::EventSink;
using korvane::test::ServerModule;

namespace {

struct ClassCase {
  const char* name;
  const CLSID& clsid;
  const IID& events;
};

const ClassCase classes[] = {
    {"CInOutFileDB", CLSID_CInOutFileDB, DIID_ICInOutFileDBEvents},
    {"CFileAccess", CLSID_CFileAccess, DIID_ICFileAccessEvents},
};

ComPtr<IConnectionPointContainer> createContainer(const ServerModule& server, const ClassCase& c) {
  ComPtr<IConnectionPointContainer> container;
  REQUIRE(server.create(c.clsid, IID_IConnectionPointContainer, container.putVoid()) == S_OK);
  return container;
}

ComPtr<IConnectionPoint> findPoint(IConnectionPointContainer& container, const ClassCase& c) {
  ComPtr<IConnectionPoint> point;
  REQUIRE(container.FindConnectionPoint(c.events, point.put()) == S_OK);
  return point;
}

}  // namespace

TEST_CASE("the container has exactly one point, for the class's event interface") {
  ServerModule server;
  for (const auto& c : classes) {
    CAPTURE(c.name);
    auto container = createContainer(server, c);

    IConnectionPoint* none = reinterpret_cast<IConnectionPoint*>(0x1234);
    CHECK(container->FindConnectionPoint(IID_IDispatch, &none) == CONNECT_E_NOCONNECTION);
    CHECK(none == nullptr);

    auto point = findPoint(*container.get(), c);
    IID iid{};
    CHECK(point->GetConnectionInterface(&iid) == S_OK);
    CHECK(IsEqualIID(iid, c.events));
    ComPtr<IConnectionPointContainer> owner;
    CHECK(point->GetConnectionPointContainer(owner.put()) == S_OK);
    CHECK(owner.get() == container.get());

    ComPtr<IEnumConnectionPoints> points;
    REQUIRE(container->EnumConnectionPoints(points.put()) == S_OK);
    IConnectionPoint* fetched[2] = {};
    ULONG count = 0;
    CHECK(points->Next(2, fetched, &count) == S_FALSE);
    CHECK(count == 1);
    CHECK(fetched[0] == point.get());
    fetched[0]->Release();
    CHECK(points->Next(1, fetched, &count) == S_FALSE);
    CHECK(count == 0);
    CHECK(points->Reset() == S_OK);
    CHECK(points->Skip(1) == S_OK);
    CHECK(points->Skip(1) == S_FALSE);
    CHECK(points->Reset() == S_OK);

    ComPtr<IEnumConnectionPoints> clone;
    REQUIRE(points->Clone(clone.put()) == S_OK);
    CHECK(clone->Next(1, fetched, nullptr) == S_OK);
    fetched[0]->Release();
  }
}

TEST_CASE("one sink at a time, always under cookie 1") {
  ServerModule server;
  for (const auto& c : classes) {
    CAPTURE(c.name);
    auto container = createContainer(server, c);
    auto point = findPoint(*container.get(), c);
    EventSink first(c.events), second(c.events);

    DWORD cookie = 0;
    REQUIRE(point->Advise(&first, &cookie) == S_OK);
    CHECK(cookie == 1);

    DWORD other = 77;
    CHECK(point->Advise(&second, &other) == CONNECT_E_CANNOTCONNECT);
    CHECK(other == 77);
    CHECK(second.references() == 0);

    for (DWORD wrong : {0ul, 2ul}) CHECK(point->Unadvise(wrong) == CONNECT_E_NOCONNECTION);
    CHECK(point->Unadvise(1) == S_OK);
    CHECK(first.references() == 0);
    CHECK(point->Unadvise(1) == CONNECT_E_NOCONNECTION);

    REQUIRE(point->Advise(&second, &cookie) == S_OK);
    CHECK(cookie == 1);
    CHECK(point->Unadvise(1) == S_OK);
  }
}

TEST_CASE("a sink without the event interface is refused") {
  ServerModule server;
  auto container = createContainer(server, classes[0]);
  auto point = findPoint(*container.get(), classes[0]);
  EventSink sink(classes[0].events);
  sink.refuseEventInterface = true;

  DWORD cookie = 77;
  CHECK(point->Advise(&sink, &cookie) == E_NOINTERFACE);
  CHECK(cookie == 77);
  CHECK(sink.references() == 0);
  CHECK(point->Unadvise(1) == CONNECT_E_NOCONNECTION);
}

TEST_CASE("EnumConnections lists the connected sink, and nothing once it is gone") {
  ServerModule server;
  auto container = createContainer(server, classes[1]);
  auto point = findPoint(*container.get(), classes[1]);
  EventSink sink(classes[1].events);
  DWORD cookie = 0;
  REQUIRE(point->Advise(&sink, &cookie) == S_OK);

  ComPtr<IEnumConnections> connections;
  REQUIRE(point->EnumConnections(connections.put()) == S_OK);
  CONNECTDATA entries[2] = {};
  ULONG fetched = 0;
  CHECK(connections->Next(2, entries, &fetched) == S_FALSE);
  REQUIRE(fetched == 1);
  CHECK(entries[0].dwCookie == 1);
  CHECK(entries[0].pUnk == static_cast<IUnknown*>(&sink));
  entries[0].pUnk->Release();
  CHECK(connections->Reset() == S_OK);
  CHECK(connections->Skip(1) == S_OK);
  CHECK(connections->Skip(1) == S_FALSE);

  REQUIRE(point->Unadvise(cookie) == S_OK);
  ComPtr<IEnumConnections> afterwards;
  REQUIRE(point->EnumConnections(afterwards.put()) == S_OK);
  CHECK(afterwards->Next(1, entries, &fetched) == S_FALSE);
  CHECK(fetched == 0);
}

TEST_CASE("releasing the object releases a sink still connected") {
  ServerModule server;
  for (const auto& c : classes) {
    CAPTURE(c.name);
    EventSink sink(c.events);
    {
      auto container = createContainer(server, c);
      auto point = findPoint(*container.get(), c);
      DWORD cookie = 0;
      REQUIRE(point->Advise(&sink, &cookie) == S_OK);
      CHECK(sink.references() > 0);
    }
    CHECK(sink.references() == 0);
    CHECK(server.canUnloadNow() == S_OK);
  }
}

TEST_CASE("a connection point or an enumerator keeps its object alive") {
  ServerModule server;
  const auto& c = classes[0];

  SUBCASE("the connection point") {
    ComPtr<IConnectionPoint> point = findPoint(*createContainer(server, c).get(), c);
    CHECK(server.canUnloadNow() == S_FALSE);
    EventSink sink(c.events);
    DWORD cookie = 0;
    CHECK(point->Advise(&sink, &cookie) == S_OK);
    CHECK(point->Unadvise(cookie) == S_OK);
    point.reset();
    CHECK(server.canUnloadNow() == S_OK);
  }

  SUBCASE("a connections enumerator") {
    ComPtr<IEnumConnections> connections;
    REQUIRE(findPoint(*createContainer(server, c).get(), c)->EnumConnections(connections.put()) == S_OK);
    CHECK(server.canUnloadNow() == S_FALSE);
    ComPtr<IEnumConnections> clone;
    REQUIRE(connections->Clone(clone.put()) == S_OK);
    connections.reset();
    CHECK(server.canUnloadNow() == S_FALSE);
    clone.reset();
    CHECK(server.canUnloadNow() == S_OK);
  }

  SUBCASE("a connection-point enumerator") {
    ComPtr<IEnumConnectionPoints> points;
    REQUIRE(createContainer(server, c)->EnumConnectionPoints(points.put()) == S_OK);
    CHECK(server.canUnloadNow() == S_FALSE);
    points.reset();
    CHECK(server.canUnloadNow() == S_OK);
  }
}
