#include "support/Failure.h"

#include <cwchar>

namespace korvane {

void throwIfFailed(HRESULT hr, const wchar_t* what) {
  if (SUCCEEDED(hr)) return;
  wchar_t text[160];
  std::swprintf(text, sizeof text / sizeof *text, L"%ls failed (0x%08lX)", what,
                static_cast<unsigned long>(hr));
  throw Failure(text, hr);
}

}  // namespace korvane
