#include "crypto/RC2Encryption.h"

#include <cassert>

#include "crypto/RC2KeyExpansion.h"

namespace {

constexpr unsigned kRotation[4] = {1, 2, 3, 5};

uint16_t RotateLeft(uint16_t x, unsigned s) {
  return static_cast<uint16_t>(x << s | x >> (16 - s));
}

// RFC 2268 encryption (five mixing rounds, a mashing round, six mixing, a mashing, five
// mixing) on big-endian words, in place.
void EncryptBlock(const uint16_t (&k)[64], uint8_t* block) {
  uint16_t r[4];
  for (int i = 0; i < 4; ++i) r[i] = static_cast<uint16_t>(block[2 * i] << 8 | block[2 * i + 1]);

  int j = 0;
  const auto mix = [&r, &k, &j] {
    for (int i = 0; i < 4; ++i) {
      const uint16_t left = r[(i + 3) & 3];
      const uint16_t sum =
          static_cast<uint16_t>(r[i] + k[j++] + (left & r[(i + 2) & 3]) + (~left & r[(i + 1) & 3]));
      r[i] = RotateLeft(sum, kRotation[i]);
    }
  };
  const auto mash = [&r, &k] {
    for (int i = 0; i < 4; ++i) r[i] = static_cast<uint16_t>(r[i] + k[r[(i + 3) & 3] & 63]);
  };

  for (int round = 0; round < 5; ++round) mix();
  mash();
  for (int round = 0; round < 6; ++round) mix();
  mash();
  for (int round = 0; round < 5; ++round) mix();

  for (int i = 0; i < 4; ++i) {
    block[2 * i] = static_cast<uint8_t>(r[i] >> 8);
    block[2 * i + 1] = static_cast<uint8_t>(r[i]);
  }
}

}  // namespace

RC2ExpandedKey ExpandRC2VariantKey(const std::string& key) {
  assert(!key.empty());
  RC2ExpandedKey expanded = {};
  ExpandRC2VariantKeyWords(reinterpret_cast<const uint8_t*>(key.data()),
                           static_cast<uint32_t>(key.size() < 128 ? key.size() : 128),
                           expanded.words);
  return expanded;
}

void EncryptRC2VariantBlocks(const RC2ExpandedKey& key, uint8_t* data, size_t length) {
  assert(length % 8 == 0);
  for (size_t offset = 0; offset + 8 <= length; offset += 8) EncryptBlock(key.words, data + offset);
}
