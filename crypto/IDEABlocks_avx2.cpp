// The AVX2 path: sixteen blocks per vector. Compiled with AVX2 enabled and called only
// where the processor and the operating system support it, so this file includes nothing
// that other files also compile.

#include <immintrin.h>

#include "crypto/IDEAVectorKernel.h"

namespace {

struct AVX2Ops : idea_vector::VectorLaneMasks<AVX2Ops> {
  using Vector = __m256i;

  static Vector Load(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
  static void Store(uint8_t* p, Vector v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
  }
  static Vector Broadcast(uint16_t word) { return _mm256_set1_epi16(static_cast<short>(word)); }
  static Vector Zero() { return _mm256_setzero_si256(); }

  static Vector Add(Vector a, Vector b) { return _mm256_add_epi16(a, b); }
  static Vector Sub(Vector a, Vector b) { return _mm256_sub_epi16(a, b); }
  static Vector SubSaturated(Vector a, Vector b) { return _mm256_subs_epu16(a, b); }
  static Vector Xor(Vector a, Vector b) { return _mm256_xor_si256(a, b); }
  static Vector And(Vector a, Vector b) { return _mm256_and_si256(a, b); }
  static Vector Equal(Vector a, Vector b) { return _mm256_cmpeq_epi16(a, b); }
  static Vector MulLo(Vector a, Vector b) { return _mm256_mullo_epi16(a, b); }
  static Vector MulHi(Vector a, Vector b) { return _mm256_mulhi_epu16(a, b); }

  static Vector SwapBytes(Vector v) {
    const __m256i order = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14,
                                           1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    return _mm256_shuffle_epi8(v, order);
  }

  static Vector UnpackLo16(Vector a, Vector b) { return _mm256_unpacklo_epi16(a, b); }
  static Vector UnpackHi16(Vector a, Vector b) { return _mm256_unpackhi_epi16(a, b); }
  static Vector UnpackLo32(Vector a, Vector b) { return _mm256_unpacklo_epi32(a, b); }
  static Vector UnpackHi32(Vector a, Vector b) { return _mm256_unpackhi_epi32(a, b); }
  static Vector UnpackLo64(Vector a, Vector b) { return _mm256_unpacklo_epi64(a, b); }
  static Vector UnpackHi64(Vector a, Vector b) { return _mm256_unpackhi_epi64(a, b); }
};

// Four groups: measured fastest of one to eight, on x86-64 and with the registers cut to
// the eight of 32-bit x86 alike; spilling to the stack costs less than waiting on the
// chain of multiplications (bench/README.md).
constexpr size_t kGroups = 4;

}  // namespace

size_t CryptIDEABlocksAVX2(const IDEASchedule& schedule, const uint8_t* input, uint8_t* output,
                           size_t blockCount) {
  return idea_vector::CryptBlocks<AVX2Ops, kGroups>(schedule, input, output, blockCount);
}
