#pragma once
// Shared by the two CRC-32C implementations: the register state after running a fixed number
// of zero bytes through it, as four table lookups. The hardware code checksums three
// stretches side by side and joins the three states with it.

#include <cstddef>
#include <cstdint>

constexpr uint32_t kCrc32cPolynomial = 0x82F63B78u;  // reflected

// The stretch each of the three hardware streams takes at a time.
constexpr size_t kCrc32cStreamLength = 4096;

// The state `crc` becomes after kCrc32cStreamLength zero bytes (TwoStreams: twice as many).
uint32_t ShiftCrc32cOneStream(uint32_t crc);
uint32_t ShiftCrc32cTwoStreams(uint32_t crc);

// The hardware code, in its own file built for SSE4.2; `crc` and the result are register
// states, without the inversions at the start and end.
uint32_t UpdateCrc32cSse42(uint32_t crc, const uint8_t* data, size_t length);
