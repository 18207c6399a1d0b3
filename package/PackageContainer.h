#pragma once
// Reading one package file: trailer, header and directory into a directory map.

#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include "package/PackageEntry.h"
#include "platform/File.h"

constexpr uint32_t kTrailerMask = 0x5C3B;
constexpr uint32_t kHeaderReadLimit = 80;
constexpr uint32_t kMaxKeyLength = kHeaderReadLimit - 6;

// Entry names order byte by byte as unsigned values; a prefix sorts first; no case folding.
struct EntryNameLess {
  bool operator()(const std::string& a, const std::string& b) const {
    size_t common = a.size() < b.size() ? a.size() : b.size();
    int order = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
    return order != 0 ? order < 0 : a.size() < b.size();
  }
};

using DirectoryMap = std::map<std::string, PackageEntry, EntryNameLess>;

struct PackageVolume {
  std::string key;   // written by ReadPackageHeader
  NativePath path;   // every open of the volume uses it
};

// Finds the header through the trailer, stores the key in `volume.key` and reads the
// directory into `directory` (empty on entry). False on any format or I/O problem; the
// map then holds what was parsed so far. Throws std::bad_alloc when memory runs out.
bool ReadPackageHeader(PackageVolume& volume, FileHandle file, DirectoryMap& directory);

// Reads the directory chunk stream at the file's current position.
bool ReadPackageDirectory(FileHandle file, PackageVolume& volume, DirectoryMap& directory);
