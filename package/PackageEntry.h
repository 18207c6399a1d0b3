#pragma once

#include <cstdint>

// One package entry as the directory describes it. `offset` with bit 31 set (negative as a
// signed 32-bit value) marks the name as removed.
struct PackageEntry {
  uint32_t volume = 0;
  uint32_t offset = 0;
  uint8_t aux1 = 0;
  uint8_t aux2 = 0;
  uint32_t size = 0;
  uint32_t aux3 = 0;
};

inline bool IsRemovalMarker(const PackageEntry& entry) {
  return (entry.offset & 0x80000000u) != 0;
}
