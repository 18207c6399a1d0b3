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

// The compression function over whole 64-byte blocks has two paths: the portable one, and
// the processor's SHA extensions, which UpdateSha256 takes where they exist. Tests name a
// path themselves.
enum class Sha256Path { kPortable, kShaExtensions };

extern const uint32_t kSha256RoundConstants[64];  // FIPS 180-4, 4.2.2

bool IsSha256PathAvailable(Sha256Path path);
void CompressSha256Blocks(Sha256Path path, std::array<uint32_t, 8>& hash, const uint8_t* data,
                          size_t blockCount);
// The SHA-extensions path itself; only where IsSha256PathAvailable says so.
void CompressSha256BlocksShaExtensions(std::array<uint32_t, 8>& hash, const uint8_t* data,
                                       size_t blockCount);

// Lower-case hexadecimal, as sha256sum prints it.
std::string FormatSha256(const Sha256Digest& digest);
