#include "classes/UCKorvane.h"

namespace korvane {

long TCKorvane::RegEnumValue(long, BSTR, long, BSTR*, long*, BSTR*) {
  return -1;  // not built yet
}

void TCKorvane::GetcomputerName(VARIANT*) {}

}  // namespace korvane
