// The AVX-512 path: thirty-two blocks per vector. Compiled with AVX-512BW enabled and called
// only where the processor and the operating system support it, so this file includes
// nothing that other files also compile. Its compares write mask registers, which the
// additions then take directly, so the modular multiplication needs two instructions
// fewer than on the narrower paths.

#include <immintrin.h>

#include "crypto/IDEAVectorKernel.h"

namespace {

struct AVX512Ops {
  using Vector = __m512i;
  using Mask = __mmask32;

  static Vector Load(const uint8_t* p) { return _mm512_loadu_si512(p); }
  static void Store(uint8_t* p, Vector v) { _mm512_storeu_si512(p, v); }
  static Vector Broadcast(uint16_t word) { return _mm512_set1_epi16(static_cast<short>(word)); }

  static Vector Add(Vector a, Vector b) { return _mm512_add_epi16(a, b); }
  static Vector Sub(Vector a, Vector b) { return _mm512_sub_epi16(a, b); }
  static Vector Xor(Vector a, Vector b) { return _mm512_xor_si512(a, b); }
  static Vector And(Vector a, Vector b) { return _mm512_and_si512(a, b); }
  static Vector MulLo(Vector a, Vector b) { return _mm512_mullo_epi16(a, b); }
  static Vector MulHi(Vector a, Vector b) { return _mm512_mulhi_epu16(a, b); }

  static Mask LessOrEqual(Vector a, Vector b) { return _mm512_cmple_epu16_mask(a, b); }
  static Mask IsZero(Vector v) { return _mm512_testn_epi16_mask(v, v); }
  static Vector AddOneWhere(Vector v, Mask m) {
    return _mm512_mask_add_epi16(v, m, v, _mm512_set1_epi16(1));
  }
  static Vector AddWhere(Vector v, Mask m, Vector addend) {
    return _mm512_mask_add_epi16(v, m, v, addend);
  }

  static Vector SwapBytes(Vector v) {
    const __m512i order = _mm512_broadcast_i32x4(
        _mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14));
    return _mm512_shuffle_epi8(v, order);
  }

  static Vector UnpackLo16(Vector a, Vector b) { return _mm512_unpacklo_epi16(a, b); }
  static Vector UnpackHi16(Vector a, Vector b) { return _mm512_unpackhi_epi16(a, b); }
  static Vector UnpackLo32(Vector a, Vector b) { return _mm512_unpacklo_epi32(a, b); }
  static Vector UnpackHi32(Vector a, Vector b) { return _mm512_unpackhi_epi32(a, b); }
  static Vector UnpackLo64(Vector a, Vector b) { return _mm512_unpacklo_epi64(a, b); }
  static Vector UnpackHi64(Vector a, Vector b) { return _mm512_unpackhi_epi64(a, b); }
};

// Four groups: measured fastest of one to six on x86-64, and of one, two and four with the
// eight registers of 32-bit x86 (bench/README.md).
constexpr size_t kGroups = 4;

}  // namespace

size_t CryptIDEABlocksAVX512(const IDEASchedule& schedule, const uint8_t* input,
                             uint8_t* output, size_t blockCount) {
  return idea_vector::CryptBlocks<AVX512Ops, kGroups>(schedule, input, output, blockCount);
}
