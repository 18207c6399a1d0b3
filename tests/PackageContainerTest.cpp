#include "package/PackageContainer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "TempFile.h"
#include "support/PackageFixture.h"
#include "crypto/RC2Encryption.h"

namespace {

const std::string kKey = "container key";

struct Opened {
  bool ok = false;
  PackageVolume volume;
  DirectoryMap directory;
};

Opened ReadPackage(const std::string& fileBytes) {
  TempFile temp(fileBytes);
  ScopedFile file(OpenFileForSharedRead(temp.Native()));
  EXPECT_TRUE(file.IsOpen());
  Opened result;
  result.volume.key = "stale";
  result.ok = ReadPackageHeader(result.volume, file.Get(), result.directory);
  return result;
}

PackageLayout SampleLayout() {
  PackageLayout layout;
  layout.host = std::string(1000, 'H');
  layout.key = kKey;
  PackageRecord config = MakeContentRecord("config.txt", "version");
  config.aux1 = 0x11;
  config.aux2 = 0x22;
  config.aux3 = 0xAABBCCDD;
  layout.records = {config, MakeContentRecord("Bin/a.dat", std::string(100, 'a'))};
  return layout;
}

TEST(PackageContainer, ReadsKeyAndRecordsBehindAHostFile) {
  Opened opened = ReadPackage(BuildPackage(SampleLayout()));
  ASSERT_TRUE(opened.ok);
  EXPECT_EQ(opened.volume.key, kKey);
  ASSERT_EQ(opened.directory.size(), 2u);
  const PackageEntry& config = opened.directory.at("config.txt");
  EXPECT_EQ(config.volume, 0u);
  EXPECT_EQ(config.offset, 1000u);  // absolute: the host's bytes come first
  EXPECT_EQ(config.size, 7u);
  EXPECT_EQ(config.aux1, 0x11);
  EXPECT_EQ(config.aux2, 0x22);
  EXPECT_EQ(config.aux3, 0xAABBCCDDu);
  EXPECT_EQ(opened.directory.at("Bin/a.dat").size, 100u);
}

TEST(PackageContainer, ReadsAFileLaidOutByHand) {
  // Header at 0x10005, directory right behind it at 0x1000D. The trailer holds
  // 0x10005 ^ 0x5C3B = 0x15C3E: only the lower half is masked.
  // The record: name "a", aux1 11, aux2 22, offset 11223344, size 05060708, aux3 AABBCCDD;
  // 17 bytes in 24 stored: masked plain 17^5C3B = 5C2A, masked stored 24^5C2A = 5C32.
  std::string record("\x01\x00" "a" "\x11\x22" "\x44\x33\x22\x11" "\x08\x07\x06\x05"
                     "\xDD\xCC\xBB\xAA\0\0\0\0\0\0\0", 24);
  const RC2ExpandedKey key = ExpandRC2VariantKey("k1");
  EncryptRC2VariantBlocks(key, reinterpret_cast<uint8_t*>(&record[0]), record.size());
  const std::string file = std::string(0x10005, 'H') +
                           std::string("\x02\x00" "k1" "\x0D\x00\x01\x00", 8) +
                           std::string("\x5C\x2A\x32\x5C", 4) + record +
                           std::string("\x5C\x2A\0\0", 4) + std::string("\x3E\x5C\x01\x00", 4);

  Opened opened = ReadPackage(file);
  ASSERT_TRUE(opened.ok);
  EXPECT_EQ(opened.volume.key, "k1");
  ASSERT_EQ(opened.directory.count("a"), 1u);
  const PackageEntry& entry = opened.directory.at("a");
  EXPECT_EQ(entry.aux1, 0x11);
  EXPECT_EQ(entry.aux2, 0x22);
  EXPECT_EQ(entry.offset, 0x11223344u);
  EXPECT_EQ(entry.size, 0x05060708u);
  EXPECT_EQ(entry.aux3, 0xAABBCCDDu);
}

TEST(PackageContainer, ReadsTheRegionsInAnyOrder) {
  PackageLayout layout = SampleLayout();
  std::sort(layout.regionOrder.begin(), layout.regionOrder.end());
  do {
    Opened opened = ReadPackage(BuildPackage(layout));
    EXPECT_TRUE(opened.ok);
    EXPECT_EQ(opened.directory.size(), 2u);
  } while (std::next_permutation(layout.regionOrder.begin(), layout.regionOrder.end()));
}

TEST(PackageContainer, TakesAKeyOf74BytesButNot75) {
  PackageLayout layout = SampleLayout();
  layout.key = std::string(74, 'k');
  EXPECT_TRUE(ReadPackage(BuildPackage(layout)).ok);  // header right before the trailer
  layout.regionOrder = {PackageRegion::kHeader, PackageRegion::kEntryData,
                        PackageRegion::kDirectory};
  EXPECT_TRUE(ReadPackage(BuildPackage(layout)).ok);
  layout.key += 'k';
  EXPECT_FALSE(ReadPackage(BuildPackage(layout)).ok);
  layout.key.clear();  // the directory cipher has no expansion for it
  EXPECT_FALSE(ReadPackage(BuildPackage(layout)).ok);
}

TEST(PackageContainer, RefusesFilesWhoseRegionsCannotBeReached) {
  for (size_t length = 0; length < 4; ++length) {
    EXPECT_FALSE(ReadPackage(std::string(length, '\0')).ok) << length << " bytes";
  }
  const std::string host = "host";
  EXPECT_FALSE(ReadPackage(host + EncodePackageTrailer(8)).ok);  // header at the file size
  EXPECT_FALSE(ReadPackage(host + EncodePackageTrailer(0x80000000)).ok);
  const uint32_t fileSize = static_cast<uint32_t>(host.size() + 6 + kKey.size() + 4);
  for (uint32_t directoryOffset : {fileSize, 0x80000000u}) {
    const std::string file = host + EncodePackageHeader(kKey, directoryOffset) +
                             EncodePackageTrailer(static_cast<uint32_t>(host.size()));
    EXPECT_FALSE(ReadPackage(file).ok) << directoryOffset;
  }
}

TEST(PackageContainer, RefusesARecordCrossingItsChunksEnd) {
  PackageEntry fields;
  const std::string first = EncodeDirectoryRecord("first", fields);
  const std::string second = EncodeDirectoryRecord("second", fields);
  for (size_t cut = 1; cut < second.size() + 2; ++cut) {
    if (cut == second.size()) continue;
    SCOPED_TRACE(cut);
    DirectoryStreamWriter stream;
    stream.key = kKey;
    AppendDirectoryChunk(stream, first);
    AppendDirectoryChunk(stream, (second + second).substr(0, cut));
    AppendDirectoryTerminator(stream);
    Opened opened = ReadPackage(BuildPackageAroundDirectory("host", kKey, stream.bytes));
    EXPECT_FALSE(opened.ok);
    EXPECT_EQ(opened.directory.count("first"), 1u);  // kept; the caller drops the map
  }
}

TEST(PackageContainer, KeepsTheLastRecordOfANameAndEveryKindOfRecord) {
  PackageLayout layout;
  layout.key = kKey;
  for (const char* name : {"same", "same", "across", "", "across"}) {
    layout.records.push_back(MakeContentRecord(name, "x"));
    layout.records.back().aux3 = static_cast<uint32_t>(layout.records.size());
  }
  layout.records.push_back(MakeRemovalMarker("gone"));
  layout.directoryChunkRecordCounts = {3, 3};

  Opened opened = ReadPackage(BuildPackage(layout));
  ASSERT_TRUE(opened.ok);
  ASSERT_EQ(opened.directory.size(), 4u);
  EXPECT_EQ(opened.directory.at("same").aux3, 2u);
  EXPECT_EQ(opened.directory.at("across").aux3, 5u);
  EXPECT_EQ(opened.directory.at("").aux3, 4u);
  EXPECT_EQ(opened.directory.at("gone").offset, 0x80000000u);

  layout.records.clear();
  layout.directoryChunkRecordCounts.clear();
  Opened empty = ReadPackage(BuildPackage(layout));
  EXPECT_TRUE(empty.ok);
  EXPECT_TRUE(empty.directory.empty());
}

TEST(PackageContainer, ReadsADirectorySpreadOverManyChunks) {
  PackageLayout layout;
  layout.key = kKey;
  for (uint32_t i = 0; i < 1500; ++i) {  // about 40 KiB of records
    layout.records.push_back(MakeFixedRecord("file/" + std::to_string(i), i, i));
  }
  Opened opened = ReadPackage(BuildPackage(layout));
  ASSERT_TRUE(opened.ok);
  ASSERT_EQ(opened.directory.size(), 1500u);
  EXPECT_EQ(opened.directory.at("file/1234").size, 1234u);
}

}  // namespace
