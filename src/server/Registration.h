// Writing and removing the server's registry entries: the type library and,
// for every class, its CLSID, ProgID, in-process server and type library keys.
#pragma once
#include <windows.h>

namespace korvane {

class ServerState;

// Registers the type library, then the eight entries of every class. Throws
// Failure at the first step that fails; entries already written stay.
void registerServer(ServerState& server);

// Unregisters the type library and deletes every class's keys. Only a type
// library whose attributes cannot be read makes it fail; keys that are
// missing or cannot be deleted are passed over.
void unregisterServer(ServerState& server);

}  // namespace korvane
