#include "file/IoFailure.h"

#include <cwchar>

namespace korvane {

std::wstring ioErrorMessage(int code) {
  switch (code) {
    case 2: return L"File not found";
    case 3: return L"Invalid filename";
    case 4: return L"Too many open files";
    case 5: return L"File access denied";
    case 100: return L"Read beyond end of file";
    case 101: return L"Disk full";
    case 106: return L"Invalid numeric input";
  }
  wchar_t text[32];
  std::swprintf(text, sizeof text / sizeof *text, L"I/O error %d", code);
  return text;
}

}  // namespace korvane
