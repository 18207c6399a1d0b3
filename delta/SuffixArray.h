#pragma once
// The suffix array of a byte string, built by induced sorting (SA-IS, Nong, Zhang and Chan,
// "Two Efficient Algorithms for Linear Time Suffix Array Construction"): linear time, so
// long runs of one byte cost no more than any other data.

#include <cstdint>
#include <vector>

// The start offsets of `text`'s suffixes in lexicographic order (a proper prefix sorts
// first). `length` stays below 2^31. Besides the result's 4 bytes a text byte, the
// construction needs at most about 2 more at its deepest.
bool BuildSuffixArray(const uint8_t* text, int32_t length, std::vector<int32_t>& suffixes);
