#include "transfer/TransferProgress.h"

#include <cfenv>
#include <cmath>

namespace korvane {

TransferProgress::TransferProgress(ProgressEvents* events, std::int64_t total, long bufferSize)
    : events_(events), total_(total), bufferSize_(bufferSize) {}

void TransferProgress::begin() {
  chunkIndex_ = 1;
  lastPercent_ = 0;
  cancel_ = VARIANT_FALSE;
  send(0);
}

bool TransferProgress::afterChunk() {
  const long percent = percentAfter(chunkIndex_, bufferSize_, total_);
  if (percent != lastPercent_) {
    send(percent);
    lastPercent_ = percent;
  }
  ++chunkIndex_;
  return cancel_ != VARIANT_FALSE;
}

void TransferProgress::finish() { send(100); }

long TransferProgress::percentAfter(std::int64_t chunkIndex, long bufferSize, std::int64_t total) {
  // In double throughout. A file that grew after its size was taken can bring
  // chunks with a total of 0: the quotient is then infinite and clamps to 100.
  const double share = static_cast<double>(chunkIndex) * static_cast<double>(bufferSize) /
                       static_cast<double>(total);
  // nearbyint follows the current rounding mode, which is to-nearest-even
  // unless someone changed it; say so rather than rely on it.
  const int mode = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double rounded = std::nearbyint(share * 100.0);
  std::fesetround(mode);
  return rounded > 100.0 ? 100 : static_cast<long>(rounded);
}

void TransferProgress::send(long percentage) {
  if (events_) events_->percentComplete(percentage, &cancel_);
}

}  // namespace korvane
