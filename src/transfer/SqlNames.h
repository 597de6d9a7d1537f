// What of a client's arguments may reach the database's SQL: names that are
// plain identifiers, and keys that the library binds as values. Everything
// else is refused before a database or a file is touched.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace korvane {

// A table or field name: identifiers of letters, digits, '_' and '$',
// optionally qualified with dots, each of which may be enclosed in [],
// "" or `` (to pass a reserved word or keep its letter case).
class SqlName {
 public:
  // Throws Failure naming `what` (e.g. L"Table") for anything else.
  static SqlName parse(std::wstring_view what, std::wstring_view text);

  // The name for SQL text. Plain parts go as the client wrote them, so the
  // database folds their case as it does for any unquoted name; enclosed
  // parts are enclosed in `quote`, the database's own identifier quote.
  std::wstring render(wchar_t quote) const;
  // The name's last part without enclosing marks: the column or table name.
  const std::wstring& unqualified() const { return parts_.back().name; }
  // Whether a column the database calls `column` is this name (the case of
  // letters aside, as field lookups by name do).
  bool names(std::wstring_view column) const;
  const std::wstring& text() const { return text_; }

 private:
  struct Part {
    std::wstring name;
    bool enclosed;
  };
  std::wstring text_;
  std::vector<Part> parts_;
};

// A key the database compares a field with: a whole number, a real, or text.
using SqlKey = std::variant<std::int64_t, double, std::wstring>;

// The key of a read, from the client's ID. A number stays a number; a text
// that reads as a number is that number; a text in apostrophes, the way
// clients pass text keys to SQL ('abc', inner apostrophes doubled) is the
// text inside. Anything else (Null, Empty, other text, dates, objects) is
// refused with a Failure.
SqlKey parseSqlKey(const VARIANT& id);

}  // namespace korvane
