#include "classes/UInOutFileDB.h"

namespace korvane {

// Not built yet.
VARIANT_BOOL TCInOutFileDB::WriteFileToDatabase(BSTR, BSTR, long, BSTR, BSTR, BSTR, VARIANT) {
  return VARIANT_FALSE;
}

VARIANT_BOOL TCInOutFileDB::ReadFileFromDatabase(BSTR, BSTR, long, BSTR, BSTR, BSTR, VARIANT) {
  return VARIANT_FALSE;
}

}  // namespace korvane
