// Tells whether a BSTR has been freed, through a malloc spy on the COM task
// allocator. BSTRs reach that allocator only when the automation string cache
// is off, so a test using this runs with OANOCACHE=1 in its environment.
#pragma once
#include <windows.h>
#include <oleauto.h>

namespace korvane::test {

// A new BSTR holding text, whose freeing is noted from its allocation on.
BSTR watchedString(const wchar_t* text);
// Whether a string made by watchedString has been freed.
bool hasBeenFreed(BSTR s);

}  // namespace korvane::test
