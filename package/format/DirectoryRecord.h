#pragma once
// Directory records: what the directory says of each entry, read from and written to the
// plaintext of directory chunks.
//
// Record, little-endian; a chunk's plaintext is a whole number of them:
//   u16  nameLength
//   u8   name[nameLength]               no terminator, compared byte-wise
//   u8   aux1
//   u8   aux2
//   u32  offset                         entry chunk stream; bit 31 set marks a removal
//   u32  size                           content length in bytes
//   u32  aux3

#include <cstdint>
#include <cstring>
#include <map>
#include <string>

// One package entry as the directory describes it. `offset` with bit 31 set (negative as a
// signed 32-bit value) marks the name as removed. `volume` is the reader's, not stored.
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

// Entry names order byte by byte as unsigned values; a prefix sorts first; no case folding.
struct EntryNameLess {
  bool operator()(const std::string& a, const std::string& b) const {
    size_t common = a.size() < b.size() ? a.size() : b.size();
    int order = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
    return order != 0 ? order < 0 : a.size() < b.size();
  }
};

using DirectoryMap = std::map<std::string, PackageEntry, EntryNameLess>;

// Every record of one chunk's plaintext into `directory`; the last record of a name wins.
// False when a record is cut off at the chunk's end.
bool ParseDirectoryRecords(const uint8_t* data, uint32_t length, DirectoryMap& directory);

// The record's offset, aux and size fields come from `fields`; its volume is not stored.
std::string EncodeDirectoryRecord(const std::string& name, const PackageEntry& fields);
