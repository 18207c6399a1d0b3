#include "delta/DeltaMatcher.h"

#include <cstdlib>

namespace {

// A match this much longer than what the current alignment already gives is worth a jump.
constexpr int64_t kJumpGain = 8;
// A jump farther than this from the current alignment costs an instruction with a long seek,
// which compresses poorly: in new content (members inserted into an archive) the many short
// matches into unrelated source text cost more than the bytes they save. Such a jump needs a
// match of at least kFarJumpLength. Measured on an archive with inserted members, 36 % off
// the delta; executables, whose jumps are near, gain a little too.
constexpr int64_t kNearJump = 1 << 16;
constexpr int64_t kFarJumpLength = 48;

// The longest prefix of `target` found in the window, and where. A binary search over the
// suffix array that skips the prefix both bounds share with the target.
int64_t LongestMatch(const DeltaSourceWindow& window, const uint8_t* target, int64_t length,
                     int64_t& position) {
  const uint8_t* source = window.bytes;
  const int64_t sourceLength = window.length;
  const int32_t* suffixes = window.suffixes;
  const auto common = [&](int64_t suffix, int64_t from) {
    int64_t n = from;
    const int64_t limit = length < sourceLength - suffix ? length : sourceLength - suffix;
    while (n < limit && source[suffix + n] == target[n]) ++n;
    return n;
  };
  int64_t low = 0, high = sourceLength - 1;
  int64_t lowCommon = common(suffixes[low], 0);
  int64_t highCommon = common(suffixes[high], 0);
  while (high - low > 1) {
    const int64_t middle = low + (high - low) / 2;
    const int64_t suffix = suffixes[middle];
    const int64_t n = common(suffix, lowCommon < highCommon ? lowCommon : highCommon);
    if (n == length) {
      position = suffix;
      return n;
    }
    if (suffix + n == sourceLength || source[suffix + n] < target[n]) {
      low = middle;
      lowCommon = n;
    } else {
      high = middle;
      highCommon = n;
    }
  }
  if (lowCommon >= highCommon) {
    position = suffixes[low];
    return lowCommon;
  }
  position = suffixes[high];
  return highCommon;
}

}  // namespace

// The scan follows the published approximate-matching idea: walk the target; at each point
// take the longest exact match, and stop to write only where it beats what the previous
// alignment would give by enough. Then the previous match is extended forward and this one
// backward as long as at least half the bytes agree, the overlap split where the agreement
// is best, and the gap between them becomes new bytes.
bool MatchDeltaTarget(const DeltaSourceWindow& window, const uint8_t* target,
                      uint64_t targetLength, uint64_t targetOffset, int64_t& drift,
                      DeltaBodyWriter& writer) {
  const uint8_t* source = window.bytes;
  const int64_t sourceLength = window.length;
  const int64_t newLength = static_cast<int64_t>(targetLength);
  if (sourceLength == 0) return CopyDeltaRun(writer, target, targetLength);

  // Offsets below are within the window and within this stretch of the target.
  int64_t lastOffset = drift + static_cast<int64_t>(targetOffset) -
                       static_cast<int64_t>(window.offset);
  int64_t lastScan = 0;
  int64_t lastPosition = lastOffset < 0 ? 0 : lastOffset > sourceLength ? sourceLength : lastOffset;
  int64_t scan = 0, length = 0, position = 0;
  const auto agrees = [&](int64_t at, int64_t offset) {
    const int64_t from = at + offset;
    return from >= 0 && from < sourceLength && source[from] == target[at];
  };

  while (scan < newLength) {
    int64_t oldScore = 0;
    int64_t counted = scan += length;
    for (; scan < newLength; ++scan) {
      length = LongestMatch(window, target + scan, newLength - scan, position);
      for (; counted < scan + length; ++counted) {
        if (agrees(counted, lastOffset)) ++oldScore;
      }
      if ((length == oldScore && length != 0) ||
          (length > oldScore + kJumpGain &&
           (length >= kFarJumpLength || std::llabs(position - scan - lastOffset) < kNearJump))) {
        break;
      }
      if (agrees(scan, lastOffset)) --oldScore;
    }
    if (length == oldScore && scan != newLength) continue;

    int64_t forwardLength = 0;
    {
      int64_t score = 0, best = 0;
      for (int64_t i = 0; lastScan + i < scan && lastPosition + i < sourceLength;) {
        if (source[lastPosition + i] == target[lastScan + i]) ++score;
        ++i;
        if (score * 2 - i > best * 2 - forwardLength) {
          best = score;
          forwardLength = i;
        }
      }
    }
    int64_t backwardLength = 0;
    if (scan < newLength) {
      int64_t score = 0, best = 0;
      for (int64_t i = 1; scan >= lastScan + i && position >= i; ++i) {
        if (source[position - i] == target[scan - i]) ++score;
        if (score * 2 - i > best * 2 - backwardLength) {
          best = score;
          backwardLength = i;
        }
      }
    }
    if (lastScan + forwardLength > scan - backwardLength) {
      const int64_t overlap = lastScan + forwardLength - (scan - backwardLength);
      int64_t score = 0, best = 0, split = 0;
      for (int64_t i = 0; i < overlap; ++i) {
        const int64_t f = lastScan + forwardLength - overlap + i;
        const int64_t b = scan - backwardLength + i;
        if (target[f] == source[lastPosition + forwardLength - overlap + i]) ++score;
        if (target[b] == source[position - backwardLength + i]) --score;
        if (score > best) {
          best = score;
          split = i + 1;
        }
      }
      forwardLength += split - overlap;
      backwardLength -= split;
    }

    if (!AddDeltaRun(writer, source + lastPosition,
                     window.offset + static_cast<uint64_t>(lastPosition), target + lastScan,
                     static_cast<uint64_t>(forwardLength))) {
      return false;
    }
    const int64_t freshStart = lastScan + forwardLength;
    if (!CopyDeltaRun(writer, target + freshStart,
                      static_cast<uint64_t>(scan - backwardLength - freshStart))) {
      return false;
    }
    lastScan = scan - backwardLength;
    lastPosition = position - backwardLength;
    // At the end `position` is stale: the alignment stays the last match's.
    if (scan < newLength) lastOffset = position - scan;
  }
  drift = lastOffset + static_cast<int64_t>(window.offset) - static_cast<int64_t>(targetOffset);
  return true;
}
