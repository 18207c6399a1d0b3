#pragma once
// The package directory's RC2 variant: RFC 2268's rounds and table, but the key bytes are
// expanded without the effective-key-length step and the block's words are big-endian.

#include <cstdint>

#include "crypto/IDecryptor.h"

class RC2Decryptor final : public IDecryptor {
 public:
  // Uses the first min(keyLength, 128) bytes. An empty key has no defined expansion;
  // the directory reader refuses it before keying.
  void SetKey(const uint8_t* key, uint32_t keyLength) override;
  bool Decrypt(uint8_t* output, uint32_t* outputLength, const uint8_t* input,
               uint32_t inputLength) override;

 private:
  uint16_t expandedKey_[64] = {};
};
