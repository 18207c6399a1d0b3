#include "IDEAReference.h"

namespace {

constexpr uint32_t kModulus = 0x10001;

// Multiplication modulo 2^16 + 1, where the word 0 stands for 2^16; a result of 2^16 is
// written as 0 again when it is cut to 16 bits.
uint16_t Mul(uint16_t a, uint16_t b) {
  const uint64_t x = a == 0 ? 0x10000 : a;
  const uint64_t y = b == 0 ? 0x10000 : b;
  return static_cast<uint16_t>(x * y % kModulus);
}

// Each group of eight subkeys is the key's eight big-endian words; the 128-bit key then
// rotates left by 25 bits for the next group. The last group has only four.
void ExpandKey(const Bytes& key, uint16_t (&z)[52]) {
  uint8_t bytes[16] = {};
  for (size_t i = 0; i < key.size() && i < 16; ++i) bytes[i] = key[i];
  uint64_t high = 0;
  uint64_t low = 0;
  for (int i = 0; i < 8; ++i) {
    high = high << 8 | bytes[i];
    low = low << 8 | bytes[8 + i];
  }
  for (int i = 0; i < 52; ++i) {
    const int word = i % 8;
    const uint64_t half = word < 4 ? high : low;
    z[i] = static_cast<uint16_t>(half >> (48 - 16 * (word % 4)));
    if (word == 7) {
      const uint64_t rotatedHigh = high << 25 | low >> 39;
      low = low << 25 | high >> 39;
      high = rotatedHigh;
    }
  }
}

void EncryptBlock(const uint16_t (&z)[52], uint8_t* block) {
  uint16_t x[4];
  for (int i = 0; i < 4; ++i) x[i] = static_cast<uint16_t>(block[2 * i] << 8 | block[2 * i + 1]);

  for (int round = 0; round < 8; ++round) {
    const uint16_t* k = z + 6 * round;
    const uint16_t a = Mul(x[0], k[0]);
    const uint16_t b = static_cast<uint16_t>(x[1] + k[1]);
    const uint16_t c = static_cast<uint16_t>(x[2] + k[2]);
    const uint16_t d = Mul(x[3], k[3]);
    const uint16_t t = Mul(static_cast<uint16_t>(a ^ c), k[4]);
    const uint16_t u = Mul(static_cast<uint16_t>((b ^ d) + t), k[5]);
    const uint16_t v = static_cast<uint16_t>(t + u);
    x[0] = static_cast<uint16_t>(a ^ u);
    x[1] = static_cast<uint16_t>(c ^ u);
    x[2] = static_cast<uint16_t>(b ^ v);
    x[3] = static_cast<uint16_t>(d ^ v);
  }

  // The output transformation undoes the last round's exchange of the middle words.
  const uint16_t y[4] = {Mul(x[0], z[48]), static_cast<uint16_t>(x[2] + z[49]),
                         static_cast<uint16_t>(x[1] + z[50]), Mul(x[3], z[51])};
  for (int i = 0; i < 4; ++i) {
    block[2 * i] = static_cast<uint8_t>(y[i] >> 8);
    block[2 * i + 1] = static_cast<uint8_t>(y[i]);
  }
}

}  // namespace

Bytes EncryptIDEAReference(const Bytes& key, const Bytes& data) {
  uint16_t z[52];
  ExpandKey(key, z);
  Bytes encrypted = data;
  for (size_t offset = 0; offset + 8 <= encrypted.size(); offset += 8) {
    EncryptBlock(z, encrypted.data() + offset);
  }
  return encrypted;
}
