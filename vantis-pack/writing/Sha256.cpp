#include "vantis-pack/writing/Sha256.h"

#include <cassert>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

const uint32_t kSha256RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
    0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
    0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
    0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
    0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
    0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
    0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
    0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
    0xc67178f2};

namespace {

uint32_t RotateRight(uint32_t x, unsigned n) { return x >> n | x << (32 - n); }

// One 64-byte block, big-endian words (FIPS 180-4, 6.2.2).
void CompressBlock(std::array<uint32_t, 8>& hash, const uint8_t* block) {
  uint32_t w[64];
  for (int t = 0; t < 16; ++t) {
    w[t] = static_cast<uint32_t>(block[4 * t]) << 24 | static_cast<uint32_t>(block[4 * t + 1]) << 16 |
           static_cast<uint32_t>(block[4 * t + 2]) << 8 | block[4 * t + 3];
  }
  for (int t = 16; t < 64; ++t) {
    const uint32_t s0 = RotateRight(w[t - 15], 7) ^ RotateRight(w[t - 15], 18) ^ (w[t - 15] >> 3);
    const uint32_t s1 = RotateRight(w[t - 2], 17) ^ RotateRight(w[t - 2], 19) ^ (w[t - 2] >> 10);
    w[t] = w[t - 16] + s0 + w[t - 7] + s1;
  }
  uint32_t a = hash[0], b = hash[1], c = hash[2], d = hash[3];
  uint32_t e = hash[4], f = hash[5], g = hash[6], h = hash[7];
  for (int t = 0; t < 64; ++t) {
    const uint32_t sum1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
    const uint32_t choose = (e & f) ^ (~e & g);
    const uint32_t t1 = h + sum1 + choose + kSha256RoundConstants[t] + w[t];
    const uint32_t sum0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
    const uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
    const uint32_t t2 = sum0 + majority;
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  hash[0] += a;
  hash[1] += b;
  hash[2] += c;
  hash[3] += d;
  hash[4] += e;
  hash[5] += f;
  hash[6] += g;
  hash[7] += h;
}

// The SHA extensions (CPUID leaf 7, EBX bit 29) with the SSSE3 and SSE4.1 shuffles their
// path also uses (leaf 1, ECX bits 9 and 19).
bool HasShaExtensions() {
#if defined(__i386__) || defined(__x86_64__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & (1u << 9)) || !(c & (1u << 19))) return false;
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return (b & (1u << 29)) != 0;
#else
  return false;
#endif
}

Sha256Path FastestSha256Path() {
  static const Sha256Path fastest =
      HasShaExtensions() ? Sha256Path::kShaExtensions : Sha256Path::kPortable;
  return fastest;
}

}  // namespace

bool IsSha256PathAvailable(Sha256Path path) {
  return path == Sha256Path::kPortable || FastestSha256Path() == Sha256Path::kShaExtensions;
}

void CompressSha256Blocks(Sha256Path path, std::array<uint32_t, 8>& hash, const uint8_t* data,
                          size_t blockCount) {
  assert(IsSha256PathAvailable(path));
  if (path == Sha256Path::kShaExtensions) {
    CompressSha256BlocksShaExtensions(hash, data, blockCount);
    return;
  }
  for (size_t i = 0; i < blockCount; ++i) CompressBlock(hash, data + 64 * i);
}

// Whole blocks of the input are compressed where they lie; only a partial block is copied.
void UpdateSha256(Sha256State& state, const void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  state.messageLength += length;
  while (length > 0) {
    if (state.blockLength == 0 && length >= state.block.size()) {
      const size_t blockCount = length / state.block.size();
      CompressSha256Blocks(FastestSha256Path(), state.hash, bytes, blockCount);
      bytes += blockCount * state.block.size();
      length -= blockCount * state.block.size();
      continue;
    }
    const size_t room = state.block.size() - state.blockLength;
    const size_t part = length < room ? length : room;
    for (size_t i = 0; i < part; ++i) state.block[state.blockLength + i] = bytes[i];
    state.blockLength += part;
    bytes += part;
    length -= part;
    if (state.blockLength == state.block.size()) {
      CompressSha256Blocks(FastestSha256Path(), state.hash, state.block.data(), 1);
      state.blockLength = 0;
    }
  }
}

Sha256Digest FinishSha256(Sha256State& state) {
  // 0x80, zeros up to 56 bytes into a block, then the length in bits, big-endian.
  const uint64_t bitLength = state.messageLength * 8;
  const uint8_t marker = 0x80;
  UpdateSha256(state, &marker, 1);
  const uint8_t zero = 0;
  while (state.blockLength != 56) UpdateSha256(state, &zero, 1);
  uint8_t lengthBytes[8];
  for (int i = 0; i < 8; ++i) lengthBytes[i] = static_cast<uint8_t>(bitLength >> (56 - 8 * i));
  UpdateSha256(state, lengthBytes, sizeof lengthBytes);

  Sha256Digest digest;
  for (size_t i = 0; i < 8; ++i) {
    for (size_t k = 0; k < 4; ++k) {
      digest[4 * i + k] = static_cast<uint8_t>(state.hash[i] >> (24 - 8 * k));
    }
  }
  return digest;
}

std::string FormatSha256(const Sha256Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t byte : digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xF];
  }
  return hex;
}
