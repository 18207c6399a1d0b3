#include "crypto/IDEADecryptor.h"

void IDEADecryptor::SetKey(const uint8_t* key, uint32_t keyLength) {
  MakeIDEADecryptionSchedule(key, keyLength, schedule_);
}

bool IDEADecryptor::Decrypt(uint8_t* output, uint32_t* outputLength, const uint8_t* input,
                            uint32_t inputLength) {
  if (!AcceptDecryptLengths(outputLength, inputLength)) return false;
  CryptIDEABlocks(FastestIDEAPath(), schedule_, input, output, inputLength / 8);
  return true;
}
