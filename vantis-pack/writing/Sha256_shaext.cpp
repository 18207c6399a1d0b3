// SHA-256 compression on the processor's SHA extensions. Compiled with them enabled and
// called only where the processor has them (IsSha256PathAvailable).
//
// sha256rnds2 does two rounds on the state held as the vectors ABEF and CDGH, taking the
// two rounds' message words plus constants in the low half of its third operand;
// sha256msg1 and sha256msg2 extend the message schedule four words at a time (Intel, "New
// Instructions Supporting the Secure Hash Algorithm on Intel Architecture Processors",
// 2013).

#include <immintrin.h>

#include "vantis-pack/writing/Sha256.h"

void CompressSha256BlocksShaExtensions(std::array<uint32_t, 8>& hash, const uint8_t* data,
                                       size_t blockCount) {
  // Each 32-bit word of the message is big-endian.
  const __m128i byteOrder = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);

  // DCBA and HGFE as stored, to ABEF and CDGH.
  const __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&hash[0]));
  const __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&hash[4]));
  const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
  const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

  for (size_t block = 0; block < blockCount; ++block, data += 64) {
    const __m128i abefSaved = abef;
    const __m128i cdghSaved = cdgh;
    // Message words 4i..4i+3 of group i live in w[i % 4]: the first four groups load
    // them, each later group's come from msg1 three groups ahead and msg2 one group ahead.
    // Unrolled, so that w[] lives in registers rather than on the stack.
    __m128i w[4];
#pragma GCC unroll 16
    for (int group = 0; group < 16; ++group) {
      __m128i& current = w[group % 4];
      if (group < 4) {
        current = _mm_shuffle_epi8(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * group)), byteOrder);
      }
      const __m128i constants =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kSha256RoundConstants[4 * group]));
      __m128i words = _mm_add_epi32(current, constants);
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, words);
      if (group >= 3 && group < 15) {
        __m128i& next = w[(group + 1) % 4];
        next = _mm_add_epi32(next, _mm_alignr_epi8(current, w[(group + 3) % 4], 4));
        next = _mm_sha256msg2_epu32(next, current);
      }
      words = _mm_shuffle_epi32(words, 0x0E);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, words);
      if (group >= 1 && group < 13) {
        __m128i& previous = w[(group + 3) % 4];
        previous = _mm_sha256msg1_epu32(previous, current);
      }
    }
    abef = _mm_add_epi32(abef, abefSaved);
    cdgh = _mm_add_epi32(cdgh, cdghSaved);
  }

  // Back to DCBA and HGFE.
  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&hash[0]), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&hash[4]), _mm_alignr_epi8(dchg, feba, 8));
}
