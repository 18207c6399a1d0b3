#pragma once
// Finds how a stretch of the target is made from a window of the source, and writes it as
// runs: long exact matches from the source's suffix array, extended forward and backward
// over bytes that mostly agree, so code whose embedded addresses moved still becomes an add
// run of mostly zero diff bytes rather than new bytes.

#include <cstdint>

#include "delta/DeltaBodyWriter.h"

struct DeltaSourceWindow {
  const uint8_t* bytes = nullptr;
  int32_t length = 0;
  uint64_t offset = 0;                // of bytes[0] in the source
  const int32_t* suffixes = nullptr;  // the window's suffix array
};

// Writes `target` (which starts at `targetOffset` in the whole target) as runs against the
// window. `drift`, the source offset minus the target offset of the last match, carries the
// alignment from one stretch to the next and comes back updated.
bool MatchDeltaTarget(const DeltaSourceWindow& window, const uint8_t* target,
                      uint64_t targetLength, uint64_t targetOffset, int64_t& drift,
                      DeltaBodyWriter& writer);
