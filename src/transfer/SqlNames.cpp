#include "transfer/SqlNames.h"

#include "support/AnsiText.h"
#include "support/Bstr.h"
#include "support/Failure.h"
#include "support/Variant.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cwctype>
#include <optional>

namespace korvane {
namespace {

bool isIdentifier(std::wstring_view text) {
  if (text.empty()) return false;
  for (wchar_t c : text) {
    if (!std::iswalnum(c) && c != L'_' && c != L'$') return false;
  }
  return true;
}

wchar_t closingMark(wchar_t opening) {
  switch (opening) {
    case L'[': return L']';
    case L'"': return L'"';
    case L'`': return L'`';
    default: return 0;
  }
}

std::wstring_view trimmed(std::wstring_view text) {
  const auto first = text.find_first_not_of(L" \t");
  if (first == std::wstring_view::npos) return {};
  return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// A plain decimal number: sign, digits, an optional fraction and exponent.
bool looksNumeric(std::wstring_view text) {
  size_t i = 0;
  const auto digits = [&] {
    const size_t start = i;
    while (i < text.size() && std::iswdigit(text[i])) ++i;
    return i - start;
  };
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) ++i;
  size_t count = digits();
  if (i < text.size() && text[i] == L'.') {
    ++i;
    count += digits();
  }
  if (count == 0) return false;
  if (i < text.size() && (text[i] == L'e' || text[i] == L'E')) {
    ++i;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) ++i;
    if (digits() == 0) return false;
  }
  return i == text.size();
}

std::optional<SqlKey> numberFromText(std::wstring_view text) {
  if (!looksNumeric(text)) return std::nullopt;
  const std::wstring digits(text);
  if (digits.find_first_of(L".eE") == std::wstring::npos) {
    errno = 0;
    wchar_t* end = nullptr;
    const long long whole = std::wcstoll(digits.c_str(), &end, 10);
    if (errno == 0) return SqlKey{static_cast<std::int64_t>(whole)};
  }
  const double real = std::wcstod(digits.c_str(), nullptr);
  if (!std::isfinite(real)) return std::nullopt;
  return SqlKey{real};
}

// 'text' with inner apostrophes doubled, as SQL writes a text literal.
std::optional<std::wstring> unquotedText(std::wstring_view text) {
  if (text.size() < 2 || text.front() != L'\'' || text.back() != L'\'') return std::nullopt;
  std::wstring result;
  const std::wstring_view inner = text.substr(1, text.size() - 2);
  for (size_t i = 0; i < inner.size(); ++i) {
    if (inner[i] == L'\'') {
      if (i + 1 >= inner.size() || inner[i + 1] != L'\'') return std::nullopt;
      ++i;
    }
    result += inner[i];
  }
  return result;
}

SqlKey keyFromText(std::wstring_view text) {
  const std::wstring_view key = trimmed(text);
  if (auto number = numberFromText(key)) return *number;
  if (auto inner = unquotedText(key)) {
    // The text reaches the database through the system code page, as every
    // text the library hands on: a character the page lacks does not arrive
    // as itself.
    return fromAnsi(toAnsi(*inner));
  }
  throw Failure(L"ID \"" + std::wstring(text) +
                L"\" is neither a number nor a text key in apostrophes ('text')");
}

SqlKey keyFromNumber(const VARIANT& id) {
  switch (V_VT(&id)) {
    case VT_I1: return std::int64_t{V_I1(&id)};
    case VT_I2: return std::int64_t{V_I2(&id)};
    case VT_I4: case VT_INT: return std::int64_t{V_I4(&id)};
    case VT_I8: return std::int64_t{V_I8(&id)};
    case VT_UI1: return std::int64_t{V_UI1(&id)};
    case VT_UI2: return std::int64_t{V_UI2(&id)};
    case VT_UI4: case VT_UINT: return std::int64_t{V_UI4(&id)};
    default: break;
  }
  // Reals, currency, decimals and the widest unsigned numbers: whole values
  // in range stay whole, the others are reals.
  Variant real;
  const HRESULT hr = VariantChangeTypeEx(real.get(), const_cast<VARIANT*>(&id), LOCALE_INVARIANT, 0, VT_R8);
  if (FAILED(hr) || !std::isfinite(V_R8(real.get()))) throw Failure(L"ID is not a usable number", hr);
  const double value = V_R8(real.get());
  constexpr double limit = 9223372036854775808.0;  // 2^63
  if (std::trunc(value) == value && value >= -limit && value < limit) {
    return static_cast<std::int64_t>(value);
  }
  return value;
}

}  // namespace

SqlName SqlName::parse(std::wstring_view what, std::wstring_view text) {
  SqlName name;
  name.text_ = text;
  std::wstring_view rest = text;
  for (;;) {
    Part part{};
    const wchar_t closing = rest.empty() ? 0 : closingMark(rest.front());
    size_t end;
    if (closing) {
      end = rest.find(closing, 1);
      if (end == std::wstring_view::npos) break;
      part = {std::wstring(rest.substr(1, end - 1)), true};
      ++end;
    } else {
      end = std::min(rest.find(L'.'), rest.size());
      part = {std::wstring(rest.substr(0, end)), false};
    }
    if (!isIdentifier(part.name)) break;
    name.parts_.push_back(std::move(part));
    if (end == rest.size()) return name;
    if (rest[end] != L'.') break;
    rest.remove_prefix(end + 1);
  }
  throw Failure(std::wstring(what) + L" \"" + std::wstring(text) +
                L"\" is not a valid name: use letters, digits, _ and $, optionally qualified "
                L"with dots or enclosed in [], \"\" or ``");
}

std::wstring SqlName::render(wchar_t quote) const {
  std::wstring sql;
  for (const Part& part : parts_) {
    if (!sql.empty()) sql += L'.';
    if (part.enclosed) {
      sql += quote;
      sql += part.name;
      sql += quote;
    } else {
      sql += part.name;
    }
  }
  return sql;
}

bool SqlName::names(std::wstring_view column) const {
  return CompareStringOrdinal(column.data(), static_cast<int>(column.size()),
                              unqualified().data(), static_cast<int>(unqualified().size()),
                              TRUE) == CSTR_EQUAL;
}

SqlKey parseSqlKey(const VARIANT& id) {
  switch (V_VT(&id)) {
    case VT_BSTR: return keyFromText(Bstr::view(V_BSTR(&id)));
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT:
    case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL:
      return keyFromNumber(id);
    default:
      throw Failure(L"ID of variant type " + std::to_wstring(V_VT(&id)) +
                    L" is neither a number nor a text key");
  }
}

}  // namespace korvane
