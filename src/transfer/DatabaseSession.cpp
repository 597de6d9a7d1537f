#include "transfer/DatabaseSession.h"

#include "support/Failure.h"
#include "transfer/OdbcSession.h"

#include <vector>

namespace korvane {
namespace {

std::wstring_view trimmed(std::wstring_view text) {
  const auto first = text.find_first_not_of(L" \t");
  if (first == std::wstring_view::npos) return {};
  return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

bool sameWord(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The keyword=value pairs of a connection string, each as written. A value
// in braces or quotes may contain semicolons.
std::vector<std::wstring_view> pairsOf(std::wstring_view text) {
  std::vector<std::wstring_view> pairs;
  size_t start = 0;
  wchar_t closing = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    const wchar_t c = i < text.size() ? text[i] : L';';
    if (closing) {
      if (c == closing) closing = 0;
    } else if (c == L'{') {
      closing = L'}';
    } else if ((c == L'"' || c == L'\'') && trimmed(text.substr(start, i - start)).ends_with(L'=')) {
      closing = c;
    } else if (c == L';' || i == text.size()) {
      if (!trimmed(text.substr(start, i - start)).empty()) pairs.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return pairs;
}

std::wstring unquoted(std::wstring_view value) {
  value = trimmed(value);
  if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::wstring(trimmed(value));
}

// MSDASQL, or a versioned MSDASQL.1: ADO's provider for ODBC.
bool isOdbcProvider(std::wstring_view provider) {
  const std::wstring_view name = provider.substr(0, provider.find(L'.'));
  return sameWord(name, L"MSDASQL");
}

}  // namespace

std::optional<std::wstring> odbcConnectionString(std::wstring_view connectionString,
                                                 std::wstring* provider) {
  std::wstring odbc;
  std::wstring named;
  for (std::wstring_view pair : pairsOf(connectionString)) {
    const size_t equals = pair.find(L'=');
    if (equals != std::wstring_view::npos && sameWord(trimmed(pair.substr(0, equals)), L"Provider")) {
      named = unquoted(pair.substr(equals + 1));
      continue;
    }
    if (!odbc.empty()) odbc += L';';
    odbc += pair;
  }
  if (provider) *provider = named;
  if (!named.empty() && !isOdbcProvider(named)) return std::nullopt;
  return odbc;
}

std::unique_ptr<DatabaseSession> openSession(std::wstring_view connectionString,
                                             const SessionSource& source) {
  std::wstring provider;
  auto odbc = odbcConnectionString(connectionString, &provider);
  if (!odbc) throw Failure(L"ADO providers are not supported yet: " + provider);
  return std::make_unique<OdbcSession>(*odbc, source);
}

}  // namespace korvane
