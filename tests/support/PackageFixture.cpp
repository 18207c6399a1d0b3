#include "support/PackageFixture.h"

#include "package/format/Crc32c.h"
#include "package/format/IntegrityBlock.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>

namespace {

// Positions and lengths in a package are 32-bit; a larger file cannot be described.
uint32_t ToPosition(size_t position) {
  if (position > 0xFFFFFFFFu) throw std::length_error("package beyond 4 GiB");
  return static_cast<uint32_t>(position);
}

size_t RegionIndex(PackageRegion region) { return static_cast<size_t>(region); }

[[maybe_unused]] bool IsRegionOrder(const std::array<PackageRegion, 3>& order) {
  const std::array<PackageRegion, 3> regions = {
      PackageRegion::kEntryData, PackageRegion::kDirectory, PackageRegion::kHeader};
  return std::is_permutation(order.begin(), order.end(), regions.begin());
}

// The plaintext of each directory chunk: whole records, either by the given counts or
// as many as fit under the chunk limit.
std::vector<std::string> GroupRecords(const std::vector<std::string>& records,
                                      const std::vector<uint32_t>& recordCounts) {
  if (recordCounts.empty()) return GroupDirectoryRecords(records);
  std::vector<std::string> chunks;
  size_t next = 0;
  for (uint32_t count : recordCounts) {
    assert(count > 0 && "a chunk without records would read as the terminator");
    assert(count <= records.size() - next);
    std::string chunk;
    for (uint32_t i = 0; i < count; ++i) chunk += records[next++];
    chunks.push_back(std::move(chunk));
  }
  assert(next == records.size() && "every record belongs to a chunk");
  return chunks;
}

std::string EncodeDirectory(const PackageLayout& layout,
                            const std::vector<PackageEntry>& entries) {
  std::vector<std::string> records;
  for (size_t i = 0; i < layout.records.size(); ++i) {
    records.push_back(EncodeDirectoryRecord(layout.records[i].name, entries[i]));
  }
  return EncodeDirectoryStream(layout.key,
                               GroupRecords(records, layout.directoryChunkRecordCounts));
}

// How much of a record's stream a reader walks: chunks up to the one whose plain length
// reaches the content's length (none for empty content); later chunks are never read.
size_t WalkedStreamLength(const PackageRecord& record, size_t streamLength) {
  if (record.chunkPlainLengths.empty()) return streamLength;
  size_t walked = 0;
  size_t delivered = 0;
  for (uint32_t length : record.chunkPlainLengths) {
    if (delivered >= record.content.size()) break;
    walked += kEntryChunkHeaderLength + (length + size_t{7}) / 8 * 8;
    delivered += length;
  }
  return walked;
}

}  // namespace

PackageRecord MakeContentRecord(const std::string& name, const std::string& content) {
  PackageRecord record;
  record.name = name;
  record.content = content;
  return record;
}

PackageRecord MakeRemovalMarker(const std::string& name) {
  return MakeFixedRecord(name, kRemovalOffset, 0);
}

PackageRecord MakeFixedRecord(const std::string& name, uint32_t offset, uint32_t size) {
  PackageRecord record;
  record.name = name;
  record.fixedPosition = true;
  record.offset = offset;
  record.size = size;
  return record;
}

std::string BuildPackage(const PackageLayout& layout) {
  const auto& order = layout.regionOrder;
  assert(IsRegionOrder(order) && "each region exactly once");
  assert((!layout.integrity || order[2] == PackageRegion::kHeader) &&
         "the integrity block follows the header");

  // Entry data first, at positions relative to its region; the directory's length does
  // not depend on the values of its fields, so one sizing pass places every region.
  std::string entryData;
  std::vector<PackageEntry> entries;
  for (const PackageRecord& record : layout.records) {
    PackageEntry entry;
    entry.aux1 = record.aux1;
    entry.aux2 = record.aux2;
    entry.aux3 = record.aux3;
    if (record.fixedPosition) {
      entry.offset = record.offset;
      entry.size = record.size;
    } else {
      entry.offset = ToPosition(entryData.size());
      entry.size = ToPosition(record.content.size());
      const std::string stream =
          EncodeEntryStream(layout.key, record.content, record.chunkPlainLengths);
      if (layout.integrity) {
        entry.aux3 = Crc32c(stream.data(), WalkedStreamLength(record, stream.size()));
      }
      entryData += stream;
    }
    entries.push_back(entry);
  }

  // Region lengths and starts, indexed by PackageRegion.
  const std::array<size_t, 3> lengths = {entryData.size(),
                                         EncodeDirectory(layout, entries).size(),
                                         EncodePackageHeader(layout.key, 0).size()};
  std::array<size_t, 3> starts = {};
  size_t position = layout.host.size();
  for (PackageRegion region : order) {
    starts[RegionIndex(region)] = position;
    position += lengths[RegionIndex(region)];
  }
  // The file's size must be 32-bit as well.
  ToPosition(position + (layout.integrity ? kIntegrityBlockLength : 0) + kTrailerLength);

  const size_t entryDataStart = starts[RegionIndex(PackageRegion::kEntryData)];
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!layout.records[i].fixedPosition) {
      entries[i].offset = ToPosition(entryDataStart + entries[i].offset);
    }
  }
  const std::array<std::string, 3> regions = {
      entryData, EncodeDirectory(layout, entries),
      EncodePackageHeader(layout.key,
                          ToPosition(starts[RegionIndex(PackageRegion::kDirectory)]))};

  std::string file = layout.host;
  for (PackageRegion region : order) file += regions[RegionIndex(region)];
  const std::string trailer =
      EncodePackageTrailer(ToPosition(starts[RegionIndex(PackageRegion::kHeader)]));
  if (layout.integrity) {
    file += EncodeIntegrityBlock(regions[RegionIndex(PackageRegion::kHeader)],
                                 regions[RegionIndex(PackageRegion::kDirectory)], trailer,
                                 layout.integrityFeatures);
  }
  return file + trailer;
}

std::string BuildPackageAroundDirectory(const std::string& host, const std::string& key,
                                        const std::string& directory) {
  const uint32_t directoryStart = ToPosition(host.size());
  const uint32_t headerStart = ToPosition(host.size() + directory.size());
  return host + directory + EncodePackageHeader(key, directoryStart) +
         EncodePackageTrailer(headerStart);
}

std::string EncodeEntryStream(const std::string& key, const std::string& content,
                              const std::vector<uint32_t>& chunkPlainLengths) {
  std::string bytes;
  size_t start = 0;
  if (chunkPlainLengths.empty()) {
    while (start < content.size()) {
      bytes += EncodeEntryChunk(key, content.substr(start, kEntryStoredLimit));
      start += kEntryStoredLimit;
    }
    return bytes;
  }
  for (uint32_t length : chunkPlainLengths) {
    assert(length <= content.size() - start && "chunk lengths must add up to the content");
    bytes += EncodeEntryChunk(key, content.substr(start, length));
    start += length;
  }
  assert(start == content.size() && "chunk lengths must add up to the content");
  return bytes;
}
