#include <windows.h>
#include <doctest/doctest.h>

#include "transfer/TransferProgress.h"

#include <cstdint>
#include <vector>

using korvane::ProgressEvents;
using korvane::TransferProgress;

namespace {

struct Recorder : ProgressEvents {
  std::vector<long> sent;
  std::vector<VARIANT_BOOL> seen;
  int cancelAtEvent = -1;
  VARIANT_BOOL stored = VARIANT_TRUE;
  void percentComplete(long percentage, VARIANT_BOOL* cancel) override {
    seen.push_back(*cancel);
    if (int(sent.size()) == cancelAtEvent) *cancel = stored;
    sent.push_back(percentage);
  }
};

// Runs `chunks` chunks (or until cancelled) and returns how many ran.
int run(TransferProgress& progress, int chunks) {
  progress.begin();
  int ran = 0;
  while (ran < chunks) {
    ++ran;
    if (progress.afterChunk()) break;
  }
  progress.finish();
  return ran;
}

}  // namespace

TEST_CASE("progress events follow the rounded percentage of whole chunks") {
  struct Case {
    std::int64_t total;
    long bufferSize;
    int chunks;
    std::vector<long> events;
  };
  const Case cases[] = {
      {10000, 4096, 3, {0, 41, 82, 100, 100}},          // the last chunk computes 122.88
      {8192, 4096, 2, {0, 50, 100, 100}},
      {8, 1, 8, {0, 12, 25, 38, 50, 62, 75, 88, 100, 100}},  // halves go to the even neighbour
      {4096, 4096, 1, {0, 100, 100}},
      {0, 4096, 0, {0, 100}},
  };
  for (const Case& c : cases) {
    CAPTURE(c.total);
    Recorder events;
    TransferProgress progress(&events, c.total, c.bufferSize);
    CHECK(run(progress, c.chunks) == c.chunks);
    CHECK(events.sent == c.events);
  }
}

TEST_CASE("no event until the rounded percentage first changes") {
  Recorder events;
  TransferProgress progress(&events, 1000, 1);
  progress.begin();
  for (int chunk = 1; chunk <= 5; ++chunk) progress.afterChunk();  // 0.1% to 0.5%: rounds to 0
  CHECK(events.sent == std::vector<long>{0});
  progress.afterChunk();
  CHECK(events.sent == std::vector<long>{0, 1});
}

TEST_CASE("percentages of files beyond 2 GiB") {
  const std::int64_t threeGiB = 3ll << 30;
  CHECK(TransferProgress::percentAfter(1, 1048576, threeGiB) == 0);
  CHECK(TransferProgress::percentAfter(1536, 1048576, threeGiB) == 50);
  CHECK(TransferProgress::percentAfter(3072, 1048576, threeGiB) == 100);
  // 4096-byte chunks of a 5 GiB file: the chunk index itself passes 2^20.
  const std::int64_t fiveGiB = 5ll << 30;
  CHECK(TransferProgress::percentAfter(655360, 4096, fiveGiB) == 50);
  CHECK(TransferProgress::percentAfter(1310720, 4096, fiveGiB) == 100);
  // A file that grew after its size of 0 was taken still ends at 100.
  CHECK(TransferProgress::percentAfter(1, 4096, 0) == 100);
}

TEST_CASE("cancel acts after the chunk, sticks, and any nonzero value counts") {
  struct Case {
    int cancelAtEvent;
    VARIANT_BOOL stored;
    int chunksRun;
    std::vector<long> events;
  };
  const Case cases[] = {
      {0, VARIANT_TRUE, 1, {0, 41, 100}},  // in the opening event: one chunk still moves
      {1, VARIANT_TRUE, 1, {0, 41, 100}},  // in the event 41
      {0, 1, 1, {0, 41, 100}},             // 1 instead of -1
      {4, VARIANT_TRUE, 3, {0, 41, 82, 100, 100}},  // in the closing event: changes nothing
  };
  for (const Case& c : cases) {
    CAPTURE(c.cancelAtEvent);
    Recorder events;
    events.cancelAtEvent = c.cancelAtEvent;
    events.stored = c.stored;
    TransferProgress progress(&events, 10000, 4096);
    CHECK(run(progress, 3) == c.chunksRun);
    CHECK(events.sent == c.events);
    if (c.cancelAtEvent < int(events.seen.size()) - 1) {
      // Never reset: every later event sees the flag as it was stored.
      CHECK(events.seen.back() == c.stored);
    }
  }
}

TEST_CASE("without a receiver the percentages still advance and nothing cancels") {
  TransferProgress progress(nullptr, 10000, 4096);
  CHECK(run(progress, 3) == 3);
}
