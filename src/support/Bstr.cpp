#include "support/Bstr.h"

#include <new>

namespace korvane {

Bstr::Bstr(std::wstring_view text) {
  if (text.empty()) return;
  s_ = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!s_) throw std::bad_alloc();
}

}  // namespace korvane
