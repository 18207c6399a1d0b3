#include "crypto/RC2Decryptor.h"

#include "crypto/RC2KeyExpansion.h"

namespace {

inline uint32_t RotateRight(uint32_t x, unsigned s) {
  return ((x >> s) | (x << (16 - s))) & 0xFFFF;
}

// Undoes one RFC 2268 mixing round, words 3 down to 0, with that round's four subkeys:
// rotate the word right, then subtract its subkey and, bit by bit, the word two or three
// to its left, as the word one to its left selects.
inline void Unmix(uint32_t& r0, uint32_t& r1, uint32_t& r2, uint32_t& r3, const uint16_t* k) {
  r3 = (RotateRight(r3, 5) - k[3] - (r2 & r1) - (~r2 & r0)) & 0xFFFF;
  r2 = (RotateRight(r2, 3) - k[2] - (r1 & r0) - (~r1 & r3)) & 0xFFFF;
  r1 = (RotateRight(r1, 2) - k[1] - (r0 & r3) - (~r0 & r2)) & 0xFFFF;
  r0 = (RotateRight(r0, 1) - k[0] - (r3 & r2) - (~r3 & r1)) & 0xFFFF;
}

// Undoes one RFC 2268 mashing round, words 3 down to 0.
inline void Unmash(uint32_t& r0, uint32_t& r1, uint32_t& r2, uint32_t& r3, const uint16_t* k) {
  r3 = (r3 - k[r2 & 63]) & 0xFFFF;
  r2 = (r2 - k[r1 & 63]) & 0xFFFF;
  r1 = (r1 - k[r0 & 63]) & 0xFFFF;
  r0 = (r0 - k[r3 & 63]) & 0xFFFF;
}

// RFC 2268 decryption on big-endian words: the mixing rounds take the subkeys from K[63]
// down to K[0]. All four words are read before any byte is written, so `out` may equal `in`.
inline void DecryptBlock(const uint16_t* k, const uint8_t* in, uint8_t* out) {
  uint32_t r0 = static_cast<uint32_t>(in[0] << 8 | in[1]);
  uint32_t r1 = static_cast<uint32_t>(in[2] << 8 | in[3]);
  uint32_t r2 = static_cast<uint32_t>(in[4] << 8 | in[5]);
  uint32_t r3 = static_cast<uint32_t>(in[6] << 8 | in[7]);

  int round = 15;
  for (; round >= 11; --round) Unmix(r0, r1, r2, r3, k + 4 * round);
  Unmash(r0, r1, r2, r3, k);
  for (; round >= 5; --round) Unmix(r0, r1, r2, r3, k + 4 * round);
  Unmash(r0, r1, r2, r3, k);
  for (; round >= 0; --round) Unmix(r0, r1, r2, r3, k + 4 * round);

  const uint32_t r[4] = {r0, r1, r2, r3};
  for (int i = 0; i < 4; ++i) {
    out[2 * i] = static_cast<uint8_t>(r[i] >> 8);
    out[2 * i + 1] = static_cast<uint8_t>(r[i]);
  }
}

}  // namespace

void RC2Decryptor::SetKey(const uint8_t* key, uint32_t keyLength) {
  // The directory reader refuses an empty key before keying, so its all-zero expansion is
  // never used.
  ExpandRC2VariantKeyWords(key, keyLength, expandedKey_);
}

bool RC2Decryptor::Decrypt(uint8_t* output, uint32_t* outputLength, const uint8_t* input,
                           uint32_t inputLength) {
  if (!AcceptDecryptLengths(outputLength, inputLength)) return false;
  for (uint32_t offset = 0; offset < inputLength; offset += 8) {
    DecryptBlock(expandedKey_, input + offset, output + offset);
  }
  return true;
}
