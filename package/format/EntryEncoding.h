#pragma once
// How an entry's content is stored, where the package says so (the integrity block's
// kFeatureEntryKinds): each record's aux2 names the kind, and a compressed or delta entry's
// content starts with a small header of its own. Without that feature every entry is whole,
// so packages of other packers, and ours without it, read as before.
//
//   kind        aux2  content
//   whole       0     the file's bytes
//   compressed  1     u32 installedSize, u32 installedChecksum, then a zlib stream
//                     (RFC 1950) of the file's bytes
//   delta       2     u32 sourceSize, u32 sourceChecksum, u32 installedSize,
//                     u32 installedChecksum, then a delta body (delta/DeltaDecoder.h) that
//                     rebuilds the file from the game's current copy of it
//
// All little-endian; the checksums are CRC-32C (Crc32c.h) of the whole file: the installed
// one of what the entry installs, the source one of the only game file the delta may be
// applied to.

#include <cstddef>
#include <cstdint>
#include <string>

#include "package/format/DirectoryRecord.h"
#include "package/format/IntegrityBlock.h"

enum class EntryKind : uint8_t { kWhole = 0, kCompressed = 1, kDelta = 2 };

constexpr size_t kCompressedHeaderLength = 8;
constexpr size_t kDeltaHeaderLength = 16;

struct EntryEncoding {
  EntryKind kind = EntryKind::kWhole;
  uint32_t sourceSize = 0;      // delta only
  uint32_t sourceChecksum = 0;  // delta only
  uint32_t installedSize = 0;
  uint32_t installedChecksum = 0;
};

// The entry's kind as its package declares it: whole unless the package's integrity data
// checks out and carries kFeatureEntryKinds. False for a kind this reader does not know.
bool ReadEntryKind(const PackageIntegrity& integrity, const PackageEntry& entry,
                   EntryKind& kind);

// The header's length for `kind`: 0 for a whole entry.
size_t EntryHeaderLength(EntryKind kind);

// Parses the header at the start of a compressed or delta entry's content. False when
// `length` is shorter than the header. `encoding.kind` must be set on entry.
bool ParseEntryHeader(const uint8_t* data, size_t length, EntryEncoding& encoding);

std::string EncodeEntryHeader(const EntryEncoding& encoding);

// "whole", "compressed" or "delta".
const char* EntryKindName(EntryKind kind);
