// The two transfers of CInOutFileDB between a local file and a binary field
// of a database row. The COM class calls them with its methods' arguments
// and turns a Failure into false with an error object.
//
// Both refuse, with a Failure and before any file or database is touched, a
// BufferSize outside 1..1,048,576, names that are not plain identifiers (see
// SqlName), and a read key that is neither a number nor a text key in
// apostrophes (see parseSqlKey).
#pragma once
#include "transfer/ProgressEvents.h"

#include <windows.h>
#include <oleauto.h>

#include <string_view>

namespace korvane {

inline constexpr long MaxBufferSize = 1048576;

// Stores the file `fileName` in `imageField` of a row of `table`: a new row
// when `id` is missing (VT_ERROR/DISP_E_PARAMNOTFOUND) or Null, otherwise the
// first row whose `idField` equals `id`. False when no row matches (no event
// is sent and nothing changes). The row is saved at the end, after a cancel
// too, with the chunks sent up to it. `events` may be null.
bool writeFileToDatabase(std::wstring_view connectionString, std::wstring_view fileName,
                         long bufferSize, std::wstring_view table, std::wstring_view imageField,
                         std::wstring_view idField, const VARIANT& id, ProgressEvents* events);

// Copies `imageField` of the row of `table` whose `idField` equals `id` into
// the file `fileName`. The data go to a temporary file beside it, which
// replaces `fileName` only when the result is true (all of the field, or the
// chunks before a cancel); on false or a failure `fileName` stays as it was.
// An empty `fileName` is standard output, written directly. False when the
// field's size cannot be read or is below 1, or when a chunk cannot be read
// or holds no bytes (a text field, for instance).
bool readFileFromDatabase(std::wstring_view connectionString, std::wstring_view fileName,
                          long bufferSize, std::wstring_view table, std::wstring_view imageField,
                          std::wstring_view idField, const VARIANT& id, ProgressEvents* events);

// Throws a Failure naming the allowed range unless 1 <= bufferSize <= MaxBufferSize.
void checkBufferSize(long bufferSize);

}  // namespace korvane
