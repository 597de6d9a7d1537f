// Shared helpers of the test programs: where the built DLL is, and text
// conversions for messages.
#pragma once
#include <windows.h>
#include <string>

namespace korvane::test {

// The built Korvane.dll of this bitness, as a Windows path.
std::wstring dllPath();

// A Unix path of the build as a Windows path: Wine's drive Z: is the Unix root.
std::wstring windowsPath(const std::string& unixPath);

std::string narrow(const std::wstring& wide);
std::wstring widen(const std::string& text);

// For doctest captures of wide names.
inline std::string narrowName(const wchar_t* name) { return narrow(name); }

}  // namespace korvane::test
