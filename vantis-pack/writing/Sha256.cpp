#include "vantis-pack/writing/Sha256.h"

std::string FormatSha256(const Sha256Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t byte : digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xF];
  }
  return hex;
}
