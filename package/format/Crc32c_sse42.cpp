// Built with -msse4.2 and run only where the processor has it (Crc32cInHardware).

#include <nmmintrin.h>

#include <cstring>

#include "package/format/Crc32cShift.h"

namespace {

// The crc32 instruction takes three cycles and starts one a cycle, so three independent
// streams keep it busy; a 64-bit build feeds it eight bytes at a time, a 32-bit one four.
#if defined(__x86_64__)
using Word = uint64_t;
inline uint32_t Step(uint32_t crc, Word word) {
  return static_cast<uint32_t>(_mm_crc32_u64(crc, word));
}
#else
using Word = uint32_t;
inline uint32_t Step(uint32_t crc, Word word) { return _mm_crc32_u32(crc, word); }
#endif

inline Word LoadWord(const uint8_t* p) {
  Word word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

uint32_t UpdateOneStream(uint32_t crc, const uint8_t* data, size_t length) {
  for (; length >= sizeof(Word); length -= sizeof(Word), data += sizeof(Word)) {
    crc = Step(crc, LoadWord(data));
  }
  for (; length > 0; --length) crc = _mm_crc32_u8(crc, *data++);
  return crc;
}

}  // namespace

uint32_t UpdateCrc32cSse42(uint32_t crc, const uint8_t* data, size_t length) {
  constexpr size_t kStream = kCrc32cStreamLength;
  // Three consecutive stretches A, B, C: the state after all three is the state after A
  // shifted past B and C, the one of B alone (from 0) shifted past C, and the one of C.
  while (length >= 3 * kStream) {
    uint32_t a = crc;
    uint32_t b = 0;
    uint32_t c = 0;
    const uint8_t* p = data;
    for (size_t i = 0; i < kStream; i += sizeof(Word), p += sizeof(Word)) {
      a = Step(a, LoadWord(p));
      b = Step(b, LoadWord(p + kStream));
      c = Step(c, LoadWord(p + 2 * kStream));
    }
    crc = ShiftCrc32cTwoStreams(a) ^ ShiftCrc32cOneStream(b) ^ c;
    data += 3 * kStream;
    length -= 3 * kStream;
  }
  return UpdateOneStream(crc, data, length);
}
