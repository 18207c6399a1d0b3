#pragma once
// Byte strings for the cipher tests, which write published vectors in hex, and a decrypt
// of a whole buffer.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "crypto/IDecryptor.h"

using Bytes = std::vector<uint8_t>;

inline Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

inline Bytes RandomBytes(std::mt19937& rng, size_t length) {
  Bytes bytes(length);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(rng());
  return bytes;
}

// `input` decrypted whole by a keyed `decryptor`.
inline Bytes Decrypt(IDecryptor& decryptor, const Bytes& input) {
  Bytes output(input.size());
  uint32_t length = static_cast<uint32_t>(output.size());
  EXPECT_TRUE(
      decryptor.Decrypt(output.data(), &length, input.data(), static_cast<uint32_t>(input.size())));
  return output;
}
