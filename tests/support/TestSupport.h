// Shared helpers of the test programs: where the built DLL is, and text
// conversions for messages.
#pragma once
#include <windows.h>
#include <string>

namespace korvane::test {

// The built Korvane.dll of this bitness, as a Windows path.
std::wstring dllPath();

std::string narrow(const std::wstring& wide);
std::wstring widen(const std::string& text);

}  // namespace korvane::test
