#pragma once
// CRC-32C (Castagnoli, reflected polynomial 0x82F63B78), the checksum of the package's
// integrity data. Processors with SSE4.2 compute it in hardware, three streams side by side;
// others use tables, eight bytes at a time.

#include <cstddef>
#include <cstdint>

// The checksum of the bytes given so far followed by `data`: start with 0, and feed the
// bytes in any pieces. ExtendCrc32c(0, "123456789", 9) is 0xE3069283.
uint32_t ExtendCrc32c(uint32_t crc, const void* data, size_t length);

// The checksum of `data` alone.
inline uint32_t Crc32c(const void* data, size_t length) { return ExtendCrc32c(0, data, length); }

// Which code ExtendCrc32c runs on this processor, for tests and benchmarks.
bool Crc32cInHardware();
// The table code, whatever the processor has.
uint32_t ExtendCrc32cPortable(uint32_t crc, const void* data, size_t length);
