#pragma once
// The integrity data vantis-pack adds to every package, in what the format leaves to the
// packer, so that readers which know nothing of it read the package as before:
//
//   - each record's aux3: the CRC-32C of the entry's chunk stream as stored, chunk headers
//     and ciphertext, exactly the bytes a reader walks (EntryStream.h); 0 for an empty entry
//     or a removal marker;
//   - an integrity block of 24 bytes between the header and the trailer, which no position
//     references:
//
//   offset  width  field
//   0       4      directoryLength     u32: the directory chunk stream's bytes, terminator
//                                      included, from directoryOffset
//   4       4      directoryChecksum   u32: CRC-32C of those bytes
//   8       4      features            u32: bit 0 (kFeatureEntryKinds) says that each
//                                      record's aux2 holds its entry's kind
//                                      (EntryEncoding.h); the other bits are 0
//   12      4      frameChecksum       u32: CRC-32C of every byte from headerOffset to the
//                                      package's end (header, this block, trailer) but these 4
//   16      8      magic               "VtCRC32C"
//
// A package carries the data when the 8 bytes before its trailer are the magic. The frame
// checksum covers the trailer, and with it where the header lies; the header covers the key
// and where the directory lies; the directory covers every name, size, offset and aux3.
// Damage to the magic alone leaves everything it would have checked as packed.

#include <cstdint>
#include <string>

#include "platform/File.h"

constexpr uint32_t kIntegrityBlockLength = 24;
constexpr char kIntegrityMagic[] = "VtCRC32C";  // 8 bytes, no terminator in the file
constexpr uint32_t kFeatureEntryKinds = 1;

struct PackageIntegrity {
  bool present = false;          // the package carries integrity data
  bool frameIntact = false;      // header, integrity block and trailer check out
  bool directoryIntact = false;  // the directory checks out (only looked at with the frame)
  uint32_t features = 0;         // the block's, once the frame checks out; 0 otherwise
};

// True when the package can be read as packed, as far as its frame and directory go: it
// carries no integrity data, or both check out.
inline bool IsFrameAndDirectoryIntact(const PackageIntegrity& integrity) {
  return !integrity.present || (integrity.frameIntact && integrity.directoryIntact);
}

// Looks for the integrity block before the trailer that ends at `packageEnd` and checks the
// frame and the directory against it. Never fails: a read error counts as damage once the
// magic was seen, and as no integrity data before. Leaves the file position anywhere.
PackageIntegrity CheckPackageIntegrity(FileHandle file, uint32_t packageEnd);

// The block for a package whose header and trailer are `header` and `trailer`, written
// between them, and whose directory stream is `directory`.
std::string EncodeIntegrityBlock(const std::string& header, const std::string& directory,
                                 const std::string& trailer, uint32_t features = 0);
