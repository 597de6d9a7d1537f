// Conversions between wide text and the 8-bit text of the system ANSI code
// page (CP_ACP), the form in which the library hands names to the system.
// A character the code page lacks becomes the code page's default character.
#pragma once
#include <string>
#include <string_view>

namespace korvane {

std::string toAnsi(std::wstring_view text);
std::wstring fromAnsi(std::string_view text);

}  // namespace korvane
