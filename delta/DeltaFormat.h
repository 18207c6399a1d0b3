#pragma once
// The delta body's layout, shared by the encoder and the decoder (docs/package-format.md,
// "Delta body", has the same in tables). Every integer but the trailer is a varint: seven
// bits a byte, low group first, the top bit set on every byte but the last; at most ten
// bytes, and a tenth byte above 1 is an overflow.
//
//   header   8 bytes  magic "VtDelta" and version 1
//            varint   sourceLength: the source the body was made against
//            varint   targetLength
//   blocks   until their target lengths reach targetLength, each:
//            varint   blockTargetLength, 1..kBlockTargetLimit
//            3 x      varint rawLength, varint storedLength  (instructions, diff, new bytes)
//            3 x      the streams' stored bytes: as they are where storedLength equals
//                     rawLength, otherwise raw deflate (RFC 1951) that inflates to exactly
//                     rawLength bytes
//   trailer  4 bytes  CRC-32 (zlib's) of the whole target, little-endian; the body ends here
//
// The diff stream is runs: pairs of varints (zeroCount, literalCount), each followed by
// literalCount diff bytes, the zeroCount diff bytes before them being 0; together exactly
// the block's diff bytes. A pair of two zeros is malformed.
//
// A block's instructions are triples of varints (addLength, copyLength, seek). The target
// gets addLength bytes, each the source byte at the source position plus the next diff
// byte (mod 256), the source position moving past them; then copyLength bytes taken from
// the new bytes; then the source position moves by seek, zigzag-coded (0, -1, 1, -2 as
// 0, 1, 2, 3) and never outside 0..sourceLength. The source position starts at 0 and carries
// from block to block. A block's instructions, diff bytes and new bytes are used up exactly
// when its target is complete.

#include <cstddef>
#include <cstdint>

constexpr uint8_t kDeltaMagic[8] = {'V', 't', 'D', 'e', 'l', 't', 'a', 1};
// One block's target, and with it each of its streams: what the decoder holds at a time.
constexpr uint32_t kBlockTargetLimit = 4u << 20;
constexpr uint32_t kBlockInstructionLimit = 4u << 20;
// The diff runs take at most this much more than the block's target: the encoder starts a
// zero run only at this many zeros, which pay for the longest pair's two varints.
constexpr uint32_t kDiffRunsOverhead = 2 * 10;
constexpr size_t kDiffZeroRunMinimum = 8;
// The longest varint, and so the most one instruction's triple takes.
constexpr size_t kVarintLimit = 10;

inline size_t PutVarint(uint64_t value, uint8_t* out) {
  size_t length = 0;
  while (value >= 0x80) {
    out[length++] = static_cast<uint8_t>(value | 0x80);
    value >>= 7;
  }
  out[length++] = static_cast<uint8_t>(value);
  return length;
}

// Reads a varint from `*at` up to `end`. False when it runs past `end` or past 64 bits.
inline bool GetVarint(const uint8_t*& at, const uint8_t* end, uint64_t& value) {
  uint64_t result = 0;
  for (unsigned shift = 0; shift < 64; shift += 7) {
    if (at == end) return false;
    const uint8_t byte = *at++;
    if (shift == 63 && byte > 1) return false;
    result |= static_cast<uint64_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) {
      value = result;
      return true;
    }
  }
  return false;
}
