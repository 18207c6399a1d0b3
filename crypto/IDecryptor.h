#pragma once
// A 64-bit block decryptor in electronic codebook mode. The two ciphers of the package
// format implement it; chunk readers own one for the length of one stream.

#include <cstdint>

class IDecryptor {
 public:
  virtual ~IDecryptor() = default;

  // Replaces the key schedule. Each cipher decides how it takes a key of this length;
  // no length is refused.
  virtual void SetKey(const uint8_t* key, uint32_t keyLength) = 0;

  // On entry *outputLength is the capacity of `output`. Fails, writing nothing and leaving
  // *outputLength alone, when the capacity is below `inputLength` or `inputLength` is not
  // a multiple of 8. Otherwise decrypts every 8-byte block on its own to the same offset,
  // sets *outputLength to `inputLength` and succeeds. `output` may equal `input`.
  virtual bool Decrypt(uint8_t* output, uint32_t* outputLength, const uint8_t* input,
                       uint32_t inputLength) = 0;

 protected:
  IDecryptor() = default;
  IDecryptor(const IDecryptor&) = default;
  IDecryptor& operator=(const IDecryptor&) = default;
};

// The length checks that every cipher's Decrypt makes first.
inline bool AcceptDecryptLengths(uint32_t* outputLength, uint32_t inputLength) {
  if (*outputLength < inputLength) return false;
  if (inputLength % 8 != 0) return false;
  *outputLength = inputLength;
  return true;
}
