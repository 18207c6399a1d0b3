#include "delta/SuffixArray.h"

#include <cstddef>
#include <new>

namespace {

// The classification of each suffix: S when it sorts before the suffix that follows it, L
// otherwise. The last suffix is L: an empty suffix (a sentinel smaller than every symbol)
// is imagined after it and is never stored.
class SuffixTypes {
 public:
  template <typename Symbol>
  SuffixTypes(const Symbol* text, int32_t length) : small_(static_cast<size_t>(length)) {
    for (int32_t i = length - 2; i >= 0; --i) {
      small_[static_cast<size_t>(i)] =
          text[i] < text[i + 1] || (text[i] == text[i + 1] && small_[static_cast<size_t>(i) + 1]);
    }
  }
  bool IsSmall(int32_t i) const { return small_[static_cast<size_t>(i)]; }
  // The leftmost S suffix of a run of S suffixes: the points induced sorting starts from.
  bool IsLeftmostSmall(int32_t i) const { return i > 0 && IsSmall(i) && !IsSmall(i - 1); }

 private:
  std::vector<bool> small_;
};

template <typename Symbol>
void FindBuckets(const Symbol* text, int32_t length, int32_t alphabet, bool ends,
                 std::vector<int32_t>& buckets) {
  buckets.assign(static_cast<size_t>(alphabet), 0);
  for (int32_t i = 0; i < length; ++i) ++buckets[static_cast<size_t>(text[i])];
  int32_t sum = 0;
  for (int32_t c = 0; c < alphabet; ++c) {
    sum += buckets[static_cast<size_t>(c)];
    buckets[static_cast<size_t>(c)] = ends ? sum : sum - buckets[static_cast<size_t>(c)];
  }
}

// From the leftmost-S suffixes placed at their buckets' ends, sorts every suffix: the L
// suffixes from left to right, then the S suffixes from right to left.
template <typename Symbol>
void Induce(const Symbol* text, int32_t* suffixes, int32_t length, int32_t alphabet,
            const SuffixTypes& types, std::vector<int32_t>& buckets) {
  FindBuckets(text, length, alphabet, false, buckets);
  // The suffix before the imagined sentinel comes first in its bucket.
  suffixes[buckets[static_cast<size_t>(text[length - 1])]++] = length - 1;
  for (int32_t i = 0; i < length; ++i) {
    const int32_t j = suffixes[i] - 1;
    if (j >= 0 && !types.IsSmall(j)) suffixes[buckets[static_cast<size_t>(text[j])]++] = j;
  }
  FindBuckets(text, length, alphabet, true, buckets);
  for (int32_t i = length - 1; i >= 0; --i) {
    const int32_t j = suffixes[i] - 1;
    if (j >= 0 && types.IsSmall(j)) suffixes[--buckets[static_cast<size_t>(text[j])]] = j;
  }
}

// Whether the substrings from two leftmost-S positions up to the next one (inclusive) are
// equal. One that reaches the sentinel equals no other.
template <typename Symbol>
bool SameSubstring(const Symbol* text, int32_t length, const SuffixTypes& types, int32_t a,
                   int32_t b) {
  for (int32_t d = 0;; ++d) {
    if (a + d == length || b + d == length) return false;
    if (text[a + d] != text[b + d] || types.IsSmall(a + d) != types.IsSmall(b + d)) return false;
    if (d > 0 && types.IsLeftmostSmall(a + d)) return true;
  }
}

// Sorts the suffixes of `text` (symbols below `alphabet`) into `suffixes`. The reduced
// problem lives inside `suffixes`: its text in the upper half, its result in the lower,
// which never overlap as no two leftmost-S positions are neighbours.
template <typename Symbol>
void Sort(const Symbol* text, int32_t* suffixes, int32_t length, int32_t alphabet) {
  if (length == 1) {
    suffixes[0] = 0;
    return;
  }
  const SuffixTypes types(text, length);
  std::vector<int32_t> buckets;

  // Sort the leftmost-S substrings by one induced pass over them placed in any order.
  for (int32_t i = 0; i < length; ++i) suffixes[i] = -1;
  FindBuckets(text, length, alphabet, true, buckets);
  for (int32_t i = 1; i < length; ++i) {
    if (types.IsLeftmostSmall(i)) suffixes[--buckets[static_cast<size_t>(text[i])]] = i;
  }
  Induce(text, suffixes, length, alphabet, types, buckets);

  // Name them in sorted order, equal substrings alike; each name lands in the upper part at
  // half its position, which keeps the text order.
  int32_t count = 0;
  for (int32_t i = 0; i < length; ++i) {
    if (types.IsLeftmostSmall(suffixes[i])) suffixes[count++] = suffixes[i];
  }
  for (int32_t i = count; i < length; ++i) suffixes[i] = -1;
  int32_t names = 0;
  int32_t previous = -1;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t position = suffixes[i];
    if (previous < 0 || !SameSubstring(text, length, types, position, previous)) ++names;
    previous = position;
    suffixes[count + position / 2] = names - 1;
  }
  int32_t* reduced = suffixes + length - count;
  for (int32_t i = length - 1, j = length - 1; i >= count; --i) {
    if (suffixes[i] >= 0) suffixes[j--] = suffixes[i];
  }

  // Sort the reduced text: directly when every name is unique, otherwise recursively.
  if (names < count) {
    Sort(reduced, suffixes, count, names);
  } else {
    for (int32_t i = 0; i < count; ++i) suffixes[reduced[i]] = i;
  }

  // The reduced order is the order of the leftmost-S suffixes: place them at their buckets'
  // ends, last first, and induce the rest.
  for (int32_t i = 1, j = 0; i < length; ++i) {
    if (types.IsLeftmostSmall(i)) reduced[j++] = i;
  }
  for (int32_t i = 0; i < count; ++i) suffixes[i] = reduced[suffixes[i]];
  for (int32_t i = count; i < length; ++i) suffixes[i] = -1;
  FindBuckets(text, length, alphabet, true, buckets);
  for (int32_t i = count - 1; i >= 0; --i) {
    const int32_t position = suffixes[i];
    suffixes[i] = -1;
    suffixes[--buckets[static_cast<size_t>(text[position])]] = position;
  }
  Induce(text, suffixes, length, alphabet, types, buckets);
}

}  // namespace

bool BuildSuffixArray(const uint8_t* text, int32_t length, std::vector<int32_t>& suffixes) {
  try {
    suffixes.assign(static_cast<size_t>(length), 0);
    if (length > 0) Sort(text, suffixes.data(), length, 256);
    return true;
  } catch (const std::bad_alloc&) {
    suffixes.clear();
    return false;
  }
}
