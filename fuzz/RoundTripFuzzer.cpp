// Property: a package that our writer builds from any host, key, names (repeated or not),
// contents, chunk splits, removal markers, directory chunking and region order opens, holds
// exactly the last record of each name unless that record removes it, and reads back every
// entry's exact bytes: whole, and in chunks as they were written, up to the one that
// reaches the entry's size. An empty key is the one layout the installer refuses.
//
// With integrity data (where the header comes last), every check passes on the package as
// built; then, with up to four bytes of it changed, the package either fails to open, or
// its integrity data is gone (only a change in the magic does that), or its frame or
// directory fails its check, or it holds exactly the names packed and each entry either
// fails to read or reads as packed.

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <vector>

#include "FuzzTarget.h"
#include "package/PackageIndex.h"
#include "support/PackageFixture.h"

namespace {

constexpr size_t kMaxRecords = 12;   // each entry read costs a 2 MiB buffer
constexpr size_t kMaxNameLength = 700;
constexpr size_t kMaxContentLength = 4096;
constexpr size_t kMaxChunks = 6;

constexpr std::array<std::array<PackageRegion, 3>, 6> kRegionOrders = {{
    {PackageRegion::kEntryData, PackageRegion::kDirectory, PackageRegion::kHeader},
    {PackageRegion::kEntryData, PackageRegion::kHeader, PackageRegion::kDirectory},
    {PackageRegion::kDirectory, PackageRegion::kEntryData, PackageRegion::kHeader},
    {PackageRegion::kDirectory, PackageRegion::kHeader, PackageRegion::kEntryData},
    {PackageRegion::kHeader, PackageRegion::kEntryData, PackageRegion::kDirectory},
    {PackageRegion::kHeader, PackageRegion::kDirectory, PackageRegion::kEntryData},
}};

// Plain lengths adding up to the content's length; zeros allowed. None: the writer's own.
std::vector<uint32_t> TakeChunkSplit(FuzzInput& input, size_t contentLength) {
  std::vector<uint32_t> lengths;
  const size_t chunkCount = input.TakeByte() % (kMaxChunks + 1);
  size_t left = contentLength;
  for (size_t i = 0; i + 1 < chunkCount; ++i) {
    lengths.push_back(static_cast<uint32_t>(input.TakeU16() % (left + 1)));
    left -= lengths.back();
  }
  if (chunkCount > 0) lengths.push_back(static_cast<uint32_t>(left));
  return lengths;
}

PackageRecord TakeRecord(FuzzInput& input, const std::vector<PackageRecord>& earlier) {
  const uint8_t kind = input.TakeByte();
  std::string name;
  if ((kind & 1) != 0 && !earlier.empty()) {
    name = earlier[input.TakeByte() % earlier.size()].name;
  } else {
    name = input.TakeBytes(input.TakeU16() % (kMaxNameLength + 1));
  }
  if ((kind & 2) != 0) return MakeRemovalMarker(name);

  PackageRecord record =
      MakeContentRecord(name, input.TakeBytes(input.TakeU16() % (kMaxContentLength + 1)));
  record.chunkPlainLengths = TakeChunkSplit(input, record.content.size());
  record.aux1 = input.TakeByte();
  record.aux2 = input.TakeByte();
  record.aux3 = input.TakeU32();
  return record;
}

// Records per directory chunk: a new chunk where the input asks for one or where the next
// record would not fit. Empty: the writer's own grouping.
std::vector<uint32_t> TakeDirectoryChunking(FuzzInput& input,
                                            const std::vector<PackageRecord>& records) {
  std::vector<uint32_t> counts;
  if ((input.TakeByte() & 1) == 0) return counts;
  size_t chunkLength = 0;
  for (const PackageRecord& record : records) {
    const size_t recordLength = 16 + record.name.size();
    if (counts.empty() || (input.TakeByte() & 1) != 0 ||
        chunkLength + recordLength > kDirectoryChunkLimit) {
      counts.push_back(0);
      chunkLength = 0;
    }
    ++counts.back();
    chunkLength += recordLength;
  }
  return counts;
}

// The chunks a reader delivers: those written, up to the one that reaches the size.
std::vector<std::string> ExpectedChunks(const PackageRecord& record) {
  std::vector<std::string> chunks;
  if (record.content.empty()) return chunks;
  if (record.chunkPlainLengths.empty()) return {record.content};
  size_t start = 0;
  for (uint32_t length : record.chunkPlainLengths) {
    chunks.push_back(record.content.substr(start, length));
    start += length;
    if (start == record.content.size()) break;
  }
  return chunks;
}

// The package `file` with up to four bytes changed, as the input says.
void CheckDamageIsFound(std::string file, FuzzInput& input,
                        const std::map<std::string, const PackageRecord*>& expected) {
  const size_t changeCount = 1 + input.TakeByte() % 4;
  for (size_t i = 0; i < changeCount; ++i) {
    const size_t position = input.TakeU32() % file.size();
    const auto mask = static_cast<uint8_t>(input.TakeByte() | 1);
    file[position] = static_cast<char>(file[position] ^ mask);
  }
  WriteFuzzFile(file.data(), file.size());
  if (!OpenPackage(FuzzFilePath()) || !PackageVolumeTable[0].integrity.present ||
      !IsPackageFrameIntact()) {
    return;
  }
  FUZZ_CHECK(PackageIndex.size() == expected.size());
  for (const auto& [name, record] : expected) {
    const PackageEntry* entry = FindPackageEntry(name);
    FUZZ_CHECK(entry != nullptr && entry->size == record->content.size());
    std::string content;
    const bool read = ReadEntry(*entry, content);
    FUZZ_CHECK(!read || content == record->content);
    // The check without decrypting walks the same bytes as the read.
    FUZZ_CHECK(!read || CheckEntryIntegrity(PackageVolumeTable, *entry));
  }
}

}  // namespace

int FuzzOne(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  PackageLayout layout;
  layout.host = input.TakeBytes(input.TakeByte());
  layout.key = input.TakeBytes(input.TakeByte() % (kMaxKeyLength + 1));
  layout.regionOrder = kRegionOrders[input.TakeByte() % kRegionOrders.size()];
  const size_t recordCount = input.TakeByte() % (kMaxRecords + 1);
  for (size_t i = 0; i < recordCount; ++i) {
    layout.records.push_back(TakeRecord(input, layout.records));
  }
  layout.directoryChunkRecordCounts = TakeDirectoryChunking(input, layout.records);
  layout.integrity =
      (input.TakeByte() & 1) != 0 && layout.regionOrder[2] == PackageRegion::kHeader;

  const std::string file = BuildPackage(layout);
  WriteFuzzFile(file.data(), file.size());
  if (layout.key.empty()) {
    FUZZ_CHECK(!OpenPackage(FuzzFilePath()));
    return 0;
  }
  FUZZ_CHECK(OpenPackage(FuzzFilePath()));

  std::map<std::string, const PackageRecord*> expected;
  for (const PackageRecord& record : layout.records) {
    if (record.fixedPosition) {
      expected.erase(record.name);
    } else {
      expected[record.name] = &record;
    }
  }
  FUZZ_CHECK(PackageIndex.size() == expected.size());

  for (const auto& [name, record] : expected) {
    const PackageEntry* entry = FindPackageEntry(name);
    FUZZ_CHECK(entry != nullptr);
    FUZZ_CHECK(entry->volume == 0 && entry->size == record->content.size());
    FUZZ_CHECK(entry->aux1 == record->aux1 && entry->aux2 == record->aux2);
    FUZZ_CHECK(layout.integrity || entry->aux3 == record->aux3);

    std::string content;
    FUZZ_CHECK(ReadEntry(*entry, content));
    FUZZ_CHECK(content == record->content);
    std::vector<std::string> chunks;
    FUZZ_CHECK(ReadEntryChunks(chunks, *entry));
    FUZZ_CHECK(chunks == ExpectedChunks(*record));
    FUZZ_CHECK(CheckEntryIntegrity(PackageVolumeTable, *entry));
  }
  FUZZ_CHECK(IsPackageFrameIntact());
  FUZZ_CHECK(PackageVolumeTable[0].integrity.present == layout.integrity);
  if (layout.integrity) CheckDamageIsFound(file, input, expected);
  return 0;
}
