// Equality of a row's key field value and the key a client is looking for.
// The rules are the library's own (not those of VarCmp): each side falls into
// a group by its variant type, and the first rule that applies decides.
#pragma once
#include <windows.h>
#include <oleauto.h>

namespace korvane {

// Throws Failure when the two cannot be compared: a side of a type that no
// rule takes (Empty, Decimal, objects, errors, arrays, references, ...), or a
// text that has to be read as a number, currency or boolean and does not.
bool keysEqual(const VARIANT& fieldValue, const VARIANT& key);

}  // namespace korvane
