#include "crypto/IDEABlocks.h"

#include <cassert>
#include <cstring>

namespace {

constexpr uint32_t kKeyBytes = 16;
constexpr int kRounds = 8;
constexpr int kSubkeyCount = kIDEASubkeyCount;

// Multiplication modulo 2^16 + 1 on 16-bit words, where the word 0 stands for 2^16.
// For a product hi * 2^16 + lo, 2^16 is congruent to -1, so the product reduces to
// lo - hi; when that is negative, adding 2^16 + 1 brings it back, and the 2^16 part
// drops out of a 16-bit word, leaving the + 1. A zero product means an operand stood
// for 2^16, which is congruent to -1: 2^16 * b is then 2^16 + 1 - b, which is 1 - b in
// 16 bits, and 0 * 0 is 1.
inline uint32_t Mul(uint32_t a, uint32_t b) {
  const uint32_t product = a * b;
  if (product == 0) return (1 - a - b) & 0xFFFF;
  const uint32_t lo = product & 0xFFFF;
  const uint32_t hi = product >> 16;
  return (lo - hi + (lo < hi ? 1u : 0u)) & 0xFFFF;
}

// 2^16 + 1 is prime, so by Fermat's little theorem x^(2^16 - 1) is the inverse of x.
// The exponent is sixteen one bits: square-and-multiply is fifteen steps of r = r^2 * x.
// The word 0 (2^16, congruent to -1) is its own inverse and needs no special case.
uint32_t MulInverse(uint32_t x) {
  uint32_t r = x;
  for (int i = 0; i < 15; ++i) r = Mul(Mul(r, r), x);
  return r;
}

uint32_t Negate(uint32_t x) { return (0x10000 - x) & 0xFFFF; }

// The encryption subkeys: the key's eight big-endian words, then each further group of
// eight taken from the 128-bit key rotated left by 25 bits from the group before.
void ExpandEncryptionKey(const uint8_t* key, uint32_t keyLength, uint32_t (&z)[kSubkeyCount]) {
  uint8_t block[kKeyBytes] = {};
  // A null key pointer comes only with length 0, and memcpy may not be given one.
  if (keyLength != 0) std::memcpy(block, key, keyLength < kKeyBytes ? keyLength : kKeyBytes);
  for (int i = 0; i < 8; ++i) z[i] = static_cast<uint32_t>(block[2 * i] << 8 | block[2 * i + 1]);
  for (int i = 8; i < kSubkeyCount; ++i) {
    const int group = i - i % 8 - 8;
    z[i] = ((z[group + (i + 1) % 8] << 9) | (z[group + (i + 2) % 8] >> 7)) & 0xFFFF;
  }
}

// Decryption runs the encryption rounds backwards through the same block function: each
// round's multiplicative subkeys are inverted and its additive ones negated. Every round
// but the first swaps its two additive subkeys, because the block function trades the
// middle words after each round and the output transformation does not.
void InvertKeySchedule(const uint32_t (&z)[kSubkeyCount], uint32_t (&dk)[kSubkeyCount]) {
  for (int r = 0; r < kRounds; ++r) {
    const int d = 6 * r;
    const int e = 48 - 6 * r;
    dk[d] = MulInverse(z[e]);
    dk[d + 1] = Negate(r == 0 ? z[e + 1] : z[e + 2]);
    dk[d + 2] = Negate(r == 0 ? z[e + 2] : z[e + 1]);
    dk[d + 3] = MulInverse(z[e + 3]);
    dk[d + 4] = z[e - 2];
    dk[d + 5] = z[e - 1];
  }
  dk[48] = MulInverse(z[0]);
  dk[49] = Negate(z[1]);
  dk[50] = Negate(z[2]);
  dk[51] = MulInverse(z[3]);
}

bool IsMultiplicative(int i) {
  const int position = i % 6;
  return i < 48 ? position == 0 || position == 3 || position == 4 || position == 5
                : i == 48 || i == 51;
}

// See IDEASchedule for what the vector paths need beyond the keys themselves.
void PrepareSchedule(const uint32_t (&dk)[kSubkeyCount], IDEASchedule& schedule) {
  schedule.hasZeroMultiplier = false;
  for (int i = 0; i < kSubkeyCount; ++i) {
    const auto key = static_cast<uint16_t>(dk[i]);
    const bool multiplicative = IsMultiplicative(i);
    schedule.keys[i] = key;
    schedule.zeroInputFix[i] = multiplicative ? static_cast<uint16_t>(0x10000 - key) : 0;
    schedule.zeroKeyMask[i] = multiplicative && key == 0 ? 0xFFFF : 0;
    if (multiplicative && key == 0) schedule.hasZeroMultiplier = true;
  }
}

// All four words are read before any byte is written, so `out` may equal `in`.
inline void CryptBlock(const uint16_t* k, const uint8_t* in, uint8_t* out) {
  uint32_t x1 = static_cast<uint32_t>(in[0] << 8 | in[1]);
  uint32_t x2 = static_cast<uint32_t>(in[2] << 8 | in[3]);
  uint32_t x3 = static_cast<uint32_t>(in[4] << 8 | in[5]);
  uint32_t x4 = static_cast<uint32_t>(in[6] << 8 | in[7]);

  for (int round = 0; round < kRounds; ++round, k += 6) {
    x1 = Mul(x1, k[0]);
    x2 = (x2 + k[1]) & 0xFFFF;
    x3 = (x3 + k[2]) & 0xFFFF;
    x4 = Mul(x4, k[3]);
    const uint32_t t = Mul(x1 ^ x3, k[4]);
    const uint32_t u = Mul(((x2 ^ x4) + t) & 0xFFFF, k[5]);
    const uint32_t v = (t + u) & 0xFFFF;
    const uint32_t middle = x3 ^ u;
    x1 ^= u;
    x3 = x2 ^ v;
    x2 = middle;
    x4 ^= v;
  }

  const uint32_t y1 = Mul(x1, k[0]);
  const uint32_t y2 = (x3 + k[1]) & 0xFFFF;
  const uint32_t y3 = (x2 + k[2]) & 0xFFFF;
  const uint32_t y4 = Mul(x4, k[3]);
  out[0] = static_cast<uint8_t>(y1 >> 8);
  out[1] = static_cast<uint8_t>(y1);
  out[2] = static_cast<uint8_t>(y2 >> 8);
  out[3] = static_cast<uint8_t>(y2);
  out[4] = static_cast<uint8_t>(y3 >> 8);
  out[5] = static_cast<uint8_t>(y3);
  out[6] = static_cast<uint8_t>(y4 >> 8);
  out[7] = static_cast<uint8_t>(y4);
}

IDEAPath DetectFastestPath() {
  if (IsIDEAPathAvailable(IDEAPath::kAVX512)) return IDEAPath::kAVX512;
  if (IsIDEAPathAvailable(IDEAPath::kAVX2)) return IDEAPath::kAVX2;
  if (IsIDEAPathAvailable(IDEAPath::kSSE2)) return IDEAPath::kSSE2;
  return IDEAPath::kScalar;
}

}  // namespace

bool IsIDEAPathAvailable(IDEAPath path) {
  // Reads what the C runtime's start-up found; the AVX2 and AVX-512 answers include the
  // operating system's saving of the wide registers.
  __builtin_cpu_init();
  switch (path) {
    case IDEAPath::kScalar:
      return true;
    case IDEAPath::kSSE2:
      return __builtin_cpu_supports("sse2");
    case IDEAPath::kAVX2:
      return __builtin_cpu_supports("avx2");
    case IDEAPath::kAVX512:
      return __builtin_cpu_supports("avx512bw");
  }
  return false;
}

IDEAPath FastestIDEAPath() {
  static const IDEAPath fastest = DetectFastestPath();
  return fastest;
}

const char* IDEAPathName(IDEAPath path) {
  switch (path) {
    case IDEAPath::kScalar:
      return "scalar";
    case IDEAPath::kSSE2:
      return "SSE2";
    case IDEAPath::kAVX2:
      return "AVX2";
    case IDEAPath::kAVX512:
      return "AVX512";
  }
  return "?";
}

void CryptIDEABlocks(IDEAPath path, const IDEASchedule& schedule, const uint8_t* input,
                     uint8_t* output, size_t blockCount) {
  assert(IsIDEAPathAvailable(path));
  size_t done = 0;
  if (path == IDEAPath::kAVX512) {
    done += CryptIDEABlocksAVX512(schedule, input, output, blockCount);
  }
  // A processor with AVX-512 has AVX2 too.
  if (path == IDEAPath::kAVX512 || path == IDEAPath::kAVX2) {
    done += CryptIDEABlocksAVX2(schedule, input + 8 * done, output + 8 * done,
                                blockCount - done);
  }
  if (path != IDEAPath::kScalar) {
    done += CryptIDEABlocksSSE2(schedule, input + 8 * done, output + 8 * done,
                                blockCount - done);
  }
  for (; done < blockCount; ++done) {
    CryptBlock(schedule.keys, input + 8 * done, output + 8 * done);
  }
}

void MakeIDEAEncryptionSchedule(const uint8_t* key, uint32_t keyLength, IDEASchedule& schedule) {
  uint32_t encryptionKeys[kSubkeyCount];
  ExpandEncryptionKey(key, keyLength, encryptionKeys);
  PrepareSchedule(encryptionKeys, schedule);
}

void MakeIDEADecryptionSchedule(const uint8_t* key, uint32_t keyLength, IDEASchedule& schedule) {
  uint32_t encryptionKeys[kSubkeyCount];
  ExpandEncryptionKey(key, keyLength, encryptionKeys);
  uint32_t decryptionKeys[kSubkeyCount];
  InvertKeySchedule(encryptionKeys, decryptionKeys);
  PrepareSchedule(decryptionKeys, schedule);
}
