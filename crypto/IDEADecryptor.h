#pragma once
// IDEA decryption: 64-bit blocks, 128-bit key, big-endian words, ECB.

#include <cstdint>

#include "crypto/IDEABlocks.h"
#include "crypto/IDecryptor.h"

class IDEADecryptor final : public IDecryptor {
 public:
  // The first min(keyLength, 16) bytes over a zero block of 16 bytes form the IDEA key.
  void SetKey(const uint8_t* key, uint32_t keyLength) override;
  // Runs on the fastest vector path the processor has (crypto/IDEABlocks.h).
  bool Decrypt(uint8_t* output, uint32_t* outputLength, const uint8_t* input,
               uint32_t inputLength) override;

 private:
  IDEASchedule schedule_ = {};
};
