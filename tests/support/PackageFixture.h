#pragma once
// Whole packages for tests and fuzzers: a host file's bytes, then entry data, directory and
// header in a chosen order, then the integrity block if asked for and the trailer, written with the format's own encoders
// (package/format/). The defaults are what the publisher's packer writes; the options
// reach every field, including values the installer must refuse, so that tests can build
// well-formed and damaged packages alike.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "package/format/DirectoryRecord.h"
#include "package/format/DirectoryStream.h"
#include "package/format/EntryStream.h"
#include "package/format/FormatConstants.h"
#include "package/format/PackageFrame.h"

// One directory record. By default `content` is stored as an entry chunk stream and the
// record points at it; a record made by MakeFixedRecord stores nothing and carries its
// offset and size as given.
struct PackageRecord {
  std::string name;
  uint8_t aux1 = 0;
  uint8_t aux2 = 0;
  uint32_t aux3 = 0;

  std::string content;
  // Plain lengths of the content's chunks, adding up to its length; zeros are allowed.
  // Empty: chunks of 1,048,568 bytes, the most an entry chunk can carry.
  std::vector<uint32_t> chunkPlainLengths;

  bool fixedPosition = false;
  uint32_t offset = 0;  // used only with fixedPosition
  uint32_t size = 0;    // used only with fixedPosition
};

PackageRecord MakeContentRecord(const std::string& name, const std::string& content);
// A record that removes the name from the index: offset 0x80000000, size 0.
PackageRecord MakeRemovalMarker(const std::string& name);
PackageRecord MakeFixedRecord(const std::string& name, uint32_t offset, uint32_t size);

enum class PackageRegion { kEntryData, kDirectory, kHeader };

struct PackageLayout {
  std::string host;  // the file the package is appended to; positions count from its start
  std::string key;   // any length the u16 field holds; keys over 74 bytes make bad packages
  std::vector<PackageRecord> records;  // in directory order; names may repeat
  // Records per directory chunk, each at least 1, adding up to the number of records.
  // Empty: as many whole records per chunk as fit in 8192 bytes.
  std::vector<uint32_t> directoryChunkRecordCounts;
  // The trailer always comes last. With the header last it ends right before the trailer.
  std::array<PackageRegion, 3> regionOrder = {PackageRegion::kEntryData,
                                              PackageRegion::kDirectory,
                                              PackageRegion::kHeader};
  // The integrity data vantis-pack writes (package/format/IntegrityBlock.h): each content
  // record's aux3 becomes its stream's checksum, and the block goes between the header,
  // which must then be the last region, and the trailer.
  bool integrity = false;
  uint32_t integrityFeatures = 0;  // the block's feature bits, with `integrity`
};

// The whole file: the host's bytes followed by the package.
std::string BuildPackage(const PackageLayout& layout);

// The host, then `directory` as given (a stream from DirectoryStreamWriter, perhaps
// damaged), then a header naming it and the trailer.
std::string BuildPackageAroundDirectory(const std::string& host, const std::string& key,
                                        const std::string& directory);

// `content` split at `chunkPlainLengths` (adding up to its length), or by default into
// chunks of 1,048,568 bytes, the most an entry chunk can carry; each chunk with the
// packer's lengths.
std::string EncodeEntryStream(const std::string& key, const std::string& content,
                              const std::vector<uint32_t>& chunkPlainLengths);
