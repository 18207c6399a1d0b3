#pragma once
// SHA-256 (FIPS 180-4) of the finished installer: the figure a publisher posts beside the
// download.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using Sha256Digest = std::array<uint8_t, 32>;

// A digest under way; feed it with UpdateSha256 in pieces of any size.
struct Sha256State {
  std::array<uint32_t, 8> hash = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                  0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<uint8_t, 64> block = {};
  size_t blockLength = 0;
  uint64_t messageLength = 0;  // bytes
};

void UpdateSha256(Sha256State& state, const void* data, size_t length);
// Pads and ends the message; the state is used up.
Sha256Digest FinishSha256(Sha256State& state);

// Lower-case hexadecimal, as sha256sum prints it.
std::string FormatSha256(const Sha256Digest& digest);
