#include "classes/UInOutFileDB.h"

#include "support/Bstr.h"
#include "support/Failure.h"
#include "support/Variant.h"
#include "transfer/ProgressEvents.h"
#include "transfer/Transfers.h"

namespace korvane {

// Hands each progress step of a transfer to the client's sink as
// OnPercentComplete(Percentage, Cancel). The sink is looked up at every event,
// so one connected or disconnected by a handler counts from the next event.
class TCInOutFileDB::PercentCompleteEvents final : public ProgressEvents {
 public:
  explicit PercentCompleteEvents(TCInOutFileDB& object) : object_(object) {}

  void percentComplete(long percentage, VARIANT_BOOL* cancel) override {
    VARIANTARG arguments[2]{};  // by position, in reverse order
    V_VT(&arguments[0]) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&arguments[0]) = cancel;
    V_VT(&arguments[1]) = VT_I4;
    V_I4(&arguments[1]) = percentage;
    DISPPARAMS parameters{arguments, nullptr, 2, 0};
    object_.sendEvent(DISPID_OnPercentComplete, parameters);
  }

 private:
  TCInOutFileDB& object_;
};

namespace {

// A late-bound client may pass ID by reference (a script passes its variables
// so): the key is the value referred to.
Variant keyValue(const VARIANT& id) {
  Variant value;
  throwIfFailed(VariantCopyInd(value.get(), const_cast<VARIANT*>(&id)), L"Reading ID");
  return value;
}

}  // namespace

VARIANT_BOOL TCInOutFileDB::WriteFileToDatabase(BSTR ConStr, BSTR FileName, long BufferSize, BSTR Table,
                                                BSTR ImageField, BSTR IDField, VARIANT ID) {
  return reportingBool([&] {
    PercentCompleteEvents events(*this);
    return writeFileToDatabase(Bstr::view(ConStr), Bstr::view(FileName), BufferSize, Bstr::view(Table),
                               Bstr::view(ImageField), Bstr::view(IDField), *keyValue(ID).get(), &events);
  });
}

VARIANT_BOOL TCInOutFileDB::ReadFileFromDatabase(BSTR ConStr, BSTR FileName, long BufferSize, BSTR Table,
                                                 BSTR ImageField, BSTR IDField, VARIANT ID) {
  return reportingBool([&] {
    PercentCompleteEvents events(*this);
    return readFileFromDatabase(Bstr::view(ConStr), Bstr::view(FileName), BufferSize, Bstr::view(Table),
                                Bstr::view(ImageField), Bstr::view(IDField), *keyValue(ID).get(), &events);
  });
}

}  // namespace korvane
