#pragma once
// What both chunk streams do with a chunk's bytes: ciphertext is the plaintext cut or
// zero-padded to the stored length, encrypted in whole 8-byte blocks; a shorter tail is
// left as it is.

#include <cstdint>
#include <string>

#include "package/format/FormatConstants.h"

inline uint32_t RoundUpToBlock(uint32_t length) {
  return (length + kCipherBlockLength - 1) & ~(kCipherBlockLength - 1);
}

// `encrypt(data, length)` encrypts `length` bytes, a multiple of the block length, in place.
template <typename Encrypt>
std::string MakeCiphertext(const std::string& plaintext, uint32_t storedLength,
                           Encrypt encrypt) {
  std::string bytes = plaintext.substr(0, storedLength);
  bytes.resize(storedLength, '\0');
  encrypt(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size() & ~size_t{kCipherBlockLength - 1});
  return bytes;
}
