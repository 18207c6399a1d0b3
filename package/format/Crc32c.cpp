#include "package/format/Crc32c.h"

#include <array>

#include "package/format/Crc32cShift.h"

namespace {

using Crc32cTables = std::array<std::array<uint32_t, 256>, 8>;

// Table k maps a byte to its contribution k bytes before the end of an 8-byte step
// ("slicing by 8").
Crc32cTables MakeByteTables() {
  Crc32cTables tables{};
  for (uint32_t byte = 0; byte < 256; ++byte) {
    uint32_t crc = byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) ? kCrc32cPolynomial : 0u);
    tables[0][byte] = crc;
  }
  for (size_t k = 1; k < tables.size(); ++k) {
    for (uint32_t byte = 0; byte < 256; ++byte) {
      const uint32_t previous = tables[k - 1][byte];
      tables[k][byte] = (previous >> 8) ^ tables[0][previous & 0xFF];
    }
  }
  return tables;
}

const Crc32cTables& ByteTables() {
  static const Crc32cTables tables = MakeByteTables();
  return tables;
}

uint32_t UpdatePortable(uint32_t crc, const uint8_t* data, size_t length) {
  const Crc32cTables& t = ByteTables();
  while (length >= 8) {
    const uint32_t low = crc ^ (static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                                static_cast<uint32_t>(data[2]) << 16 |
                                static_cast<uint32_t>(data[3]) << 24);
    crc = t[7][low & 0xFF] ^ t[6][low >> 8 & 0xFF] ^ t[5][low >> 16 & 0xFF] ^ t[4][low >> 24] ^
          t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
    data += 8;
    length -= 8;
  }
  for (; length > 0; --length) crc = (crc >> 8) ^ t[0][(crc ^ *data++) & 0xFF];
  return crc;
}

// Shifting a state by zero bytes is linear in its bits, so four tables of 256 states (one
// per byte of the state) give it for any state.
using ShiftTables = std::array<std::array<uint32_t, 256>, 4>;

ShiftTables MakeShiftTables(size_t zeroLength) {
  uint32_t bitShifted[32];
  static const uint8_t kZeros[kCrc32cStreamLength] = {};
  for (int bit = 0; bit < 32; ++bit) {
    uint32_t crc = 1u << bit;
    for (size_t left = zeroLength; left > 0; left -= kCrc32cStreamLength) {
      crc = UpdatePortable(crc, kZeros, kCrc32cStreamLength);
    }
    bitShifted[bit] = crc;
  }
  ShiftTables tables{};
  for (int k = 0; k < 4; ++k) {
    for (uint32_t byte = 0; byte < 256; ++byte) {
      uint32_t crc = 0;
      for (int bit = 0; bit < 8; ++bit) {
        if (byte & (1u << bit)) crc ^= bitShifted[8 * k + bit];
      }
      tables[static_cast<size_t>(k)][byte] = crc;
    }
  }
  return tables;
}

uint32_t Shift(const ShiftTables& t, uint32_t crc) {
  return t[0][crc & 0xFF] ^ t[1][crc >> 8 & 0xFF] ^ t[2][crc >> 16 & 0xFF] ^ t[3][crc >> 24];
}

bool DetectHardware() {
#if defined(__i386__) || defined(__x86_64__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("sse4.2");
#else
  return false;
#endif
}

}  // namespace

uint32_t ShiftCrc32cOneStream(uint32_t crc) {
  static const ShiftTables tables = MakeShiftTables(kCrc32cStreamLength);
  return Shift(tables, crc);
}

uint32_t ShiftCrc32cTwoStreams(uint32_t crc) {
  static const ShiftTables tables = MakeShiftTables(2 * kCrc32cStreamLength);
  return Shift(tables, crc);
}

bool Crc32cInHardware() {
  static const bool available = DetectHardware();
  return available;
}

uint32_t ExtendCrc32cPortable(uint32_t crc, const void* data, size_t length) {
  return ~UpdatePortable(~crc, static_cast<const uint8_t*>(data), length);
}

uint32_t ExtendCrc32c(uint32_t crc, const void* data, size_t length) {
#if defined(__i386__) || defined(__x86_64__)
  if (Crc32cInHardware()) {
    return ~UpdateCrc32cSse42(~crc, static_cast<const uint8_t*>(data), length);
  }
#endif
  return ExtendCrc32cPortable(crc, data, length);
}
