#include "package/format/EntryEncoding.h"

#include "platform/ByteOrder.h"

bool ReadEntryKind(const PackageIntegrity& integrity, const PackageEntry& entry,
                   EntryKind& kind) {
  kind = EntryKind::kWhole;
  if (!integrity.present || !integrity.frameIntact ||
      (integrity.features & kFeatureEntryKinds) == 0) {
    return true;
  }
  if (entry.aux2 > static_cast<uint8_t>(EntryKind::kDelta)) return false;
  kind = static_cast<EntryKind>(entry.aux2);
  return true;
}

size_t EntryHeaderLength(EntryKind kind) {
  switch (kind) {
    case EntryKind::kCompressed:
      return kCompressedHeaderLength;
    case EntryKind::kDelta:
      return kDeltaHeaderLength;
    case EntryKind::kWhole:
      break;
  }
  return 0;
}

bool ParseEntryHeader(const uint8_t* data, size_t length, EntryEncoding& encoding) {
  if (length < EntryHeaderLength(encoding.kind)) return false;
  size_t at = 0;
  if (encoding.kind == EntryKind::kDelta) {
    encoding.sourceSize = LoadLittleEndian32(data);
    encoding.sourceChecksum = LoadLittleEndian32(data + 4);
    at = 8;
  }
  if (encoding.kind != EntryKind::kWhole) {
    encoding.installedSize = LoadLittleEndian32(data + at);
    encoding.installedChecksum = LoadLittleEndian32(data + at + 4);
  }
  return true;
}

std::string EncodeEntryHeader(const EntryEncoding& encoding) {
  std::string header;
  if (encoding.kind == EntryKind::kDelta) {
    AppendLittleEndian32(header, encoding.sourceSize);
    AppendLittleEndian32(header, encoding.sourceChecksum);
  }
  if (encoding.kind != EntryKind::kWhole) {
    AppendLittleEndian32(header, encoding.installedSize);
    AppendLittleEndian32(header, encoding.installedChecksum);
  }
  return header;
}

const char* EntryKindName(EntryKind kind) {
  switch (kind) {
    case EntryKind::kCompressed:
      return "compressed";
    case EntryKind::kDelta:
      return "delta";
    case EntryKind::kWhole:
      break;
  }
  return "whole";
}
