// Where a transfer sends its progress: the COM class forwards each call to
// the client's event sink as OnPercentComplete. Whatever the receiver stores
// through `cancel` is the transfer's cancel flag from then on.
#pragma once
#include <windows.h>
#include <oleauto.h>

namespace korvane {

class ProgressEvents {
 public:
  virtual void percentComplete(long percentage, VARIANT_BOOL* cancel) = 0;

 protected:
  ~ProgressEvents() = default;
};

}  // namespace korvane
