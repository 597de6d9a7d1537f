#include "classes/Classes.h"

#include "Korvane_TLB.h"
#include "classes/UCFileAccess.h"
#include "classes/UCKorvane.h"
#include "classes/UInOutFileDB.h"

namespace korvane {

namespace {

template <class Object>
ObjectCore* create(ClassObject& classObject, IUnknown* outer) {
  return new Object(classObject, outer);
}

const ClassDescription classes[] = {
    {CLSID_CKorvane, L"TCKorvane", false, IID_ICKorvane, &create<TCKorvane>},
    {CLSID_CInOutFileDB, L"TCInOutFileDB", true, IID_ICInOutFileDB, &create<TCInOutFileDB>},
    {CLSID_CFileAccess, L"TCFileAccess", true, IID_ICFileAccess, &create<TCFileAccess>},
};

}  // namespace

std::span<const ClassDescription> serverClasses() {
  return classes;
}

}  // namespace korvane
