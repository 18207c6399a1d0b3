#pragma once
// The package's frame: the trailer, the last 4 bytes of the package, points at the header,
// and the header holds the key and points at the directory.
//
// Trailer, the last 4 bytes of the package: of the file, or of what comes before the
// certificate table of a signed installer (PackageEnd.h):
//   u32  headerOffset XOR 0x5C3B        (only the low 16 bits are masked)
//
// Header, at headerOffset, within the first 80 bytes read from there:
//   u16  keyLength                      (at most 74 so that the header fits in 80 bytes)
//   u8   key[keyLength]                 the package key, plain; keys RC2 and IDEA alike
//   u32  directoryOffset
//
// Integers are little-endian; every position is absolute in the file.

#include <cstdint>
#include <string>

#include "platform/File.h"

struct PackageFrame {
  uint32_t headerOffset = 0;
  std::string key;
  uint32_t directoryOffset = 0;
};

// Reads the trailer that ends at `packageEnd` and the header it names. False when the
// trailer or header cannot be read whole. Leaves the file position anywhere.
bool ReadPackageFrame(FileHandle file, uint32_t packageEnd, PackageFrame& frame);

std::string EncodePackageTrailer(uint32_t headerOffset);
// `key` of any length the u16 field holds; keys over 74 bytes make packages the
// installer refuses.
std::string EncodePackageHeader(const std::string& key, uint32_t directoryOffset);
