// The SSE2 path: eight blocks per vector. Compiled with SSE2 enabled and called only where
// the processor has it, so this file includes nothing that other files also compile.

#include <emmintrin.h>

#include "crypto/IDEAVectorKernel.h"

namespace {

struct SSE2Ops : idea_vector::VectorLaneMasks<SSE2Ops> {
  using Vector = __m128i;

  static Vector Load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  }
  static void Store(uint8_t* p, Vector v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  static Vector Broadcast(uint16_t word) { return _mm_set1_epi16(static_cast<short>(word)); }
  static Vector Zero() { return _mm_setzero_si128(); }

  static Vector Add(Vector a, Vector b) { return _mm_add_epi16(a, b); }
  static Vector Sub(Vector a, Vector b) { return _mm_sub_epi16(a, b); }
  static Vector SubSaturated(Vector a, Vector b) { return _mm_subs_epu16(a, b); }
  static Vector Xor(Vector a, Vector b) { return _mm_xor_si128(a, b); }
  static Vector And(Vector a, Vector b) { return _mm_and_si128(a, b); }
  static Vector Equal(Vector a, Vector b) { return _mm_cmpeq_epi16(a, b); }
  static Vector MulLo(Vector a, Vector b) { return _mm_mullo_epi16(a, b); }
  static Vector MulHi(Vector a, Vector b) { return _mm_mulhi_epu16(a, b); }

  // SSE2 has no byte shuffle.
  static Vector SwapBytes(Vector v) { return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8)); }

  static Vector UnpackLo16(Vector a, Vector b) { return _mm_unpacklo_epi16(a, b); }
  static Vector UnpackHi16(Vector a, Vector b) { return _mm_unpackhi_epi16(a, b); }
  static Vector UnpackLo32(Vector a, Vector b) { return _mm_unpacklo_epi32(a, b); }
  static Vector UnpackHi32(Vector a, Vector b) { return _mm_unpackhi_epi32(a, b); }
  static Vector UnpackLo64(Vector a, Vector b) { return _mm_unpacklo_epi64(a, b); }
  static Vector UnpackHi64(Vector a, Vector b) { return _mm_unpackhi_epi64(a, b); }
};

// Four groups: measured fastest of one to eight, on x86-64 and with the registers cut to
// the eight of 32-bit x86 alike; spilling to the stack costs less than waiting on the
// chain of multiplications (bench/README.md).
constexpr size_t kGroups = 4;

}  // namespace

size_t CryptIDEABlocksSSE2(const IDEASchedule& schedule, const uint8_t* input, uint8_t* output,
                           size_t blockCount) {
  return idea_vector::CryptBlocks<SSE2Ops, kGroups>(schedule, input, output, blockCount);
}
