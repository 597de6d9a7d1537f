// Progress of one transfer in whole percentages: an opening 0, one event
// whenever the rounded percentage changes after a chunk, and a closing 100.
// The receiver may ask to stop from any event; the request is checked after
// every chunk and never withdrawn.
#pragma once
#include "transfer/ProgressEvents.h"

#include <cstdint>

namespace korvane {

class TransferProgress {
 public:
  // `events` may be null: nothing is sent and nothing cancels, but the
  // percentages are computed all the same.
  TransferProgress(ProgressEvents* events, std::int64_t total, long bufferSize);

  void begin();
  // The step after one chunk; true when the receiver has asked to stop.
  bool afterChunk();
  void finish();

  // The percentage after `chunkIndex` whole chunks of `bufferSize` bytes out
  // of `total`: rounded half to even, at most 100.
  static long percentAfter(std::int64_t chunkIndex, long bufferSize, std::int64_t total);

 private:
  void send(long percentage);

  ProgressEvents* events_;
  std::int64_t total_;
  long bufferSize_;
  std::int64_t chunkIndex_ = 1;
  long lastPercent_ = 0;
  VARIANT_BOOL cancel_ = VARIANT_FALSE;
};

}  // namespace korvane
