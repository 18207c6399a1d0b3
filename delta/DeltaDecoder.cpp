#include "delta/DeltaDecoder.h"

bool ApplyDelta(const uint8_t*, size_t, const DeltaSource&, uint64_t, DeltaTargetSink, void*) {
  return false;  // placeholder until the decoder lands
}
