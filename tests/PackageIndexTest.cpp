#include "package/PackageIndex.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "TempFile.h"
#include "package/format/EntryStream.h"
#include "support/PackageFixture.h"

namespace {

const std::string kKey = "index key, longer than IDEA takes";

// Writes the package to a file that lives as long as the result, and opens it.
std::unique_ptr<TempFile> Open(const PackageLayout& layout) {
  auto file = std::make_unique<TempFile>(BuildPackage(layout));
  EXPECT_TRUE(OpenPackage(file->Native()));
  return file;
}

PackageLayout LayoutOf(std::vector<PackageRecord> records) {
  PackageLayout layout;
  layout.host = "installer program";
  layout.key = kKey;
  layout.records = std::move(records);
  return layout;
}

std::vector<std::string> IndexNames() {
  std::vector<std::string> names;
  for (const auto& item : PackageIndex) names.push_back(item.first);
  return names;
}

std::string ReadWhole(const std::string& name) {
  const PackageEntry* entry = FindPackageEntry(name);
  std::string content = "stale";
  if (!entry || !ReadEntry(*entry, content)) ADD_FAILURE() << "cannot read " << name;
  return content;
}

using Chunks = std::vector<std::string>;

TEST(PackageIndex, OpensAPackageAndReadsEntriesWholeAndInChunks) {
  const std::string big = std::string(kEntryStoredLimit, 'b') + "tail";
  auto file = Open(LayoutOf({MakeContentRecord("config.txt", "version=1"),
                             MakeContentRecord("Bin/big.dat", big)}));
  ASSERT_EQ(PackageVolumeTable.size(), 1u);
  EXPECT_EQ(PackageVolumeTable[0].path, file->Native());
  EXPECT_EQ(PackageVolumeTable[0].key, kKey);
  EXPECT_EQ(IndexNames(), (std::vector<std::string>{"Bin/big.dat", "config.txt"}));

  EXPECT_EQ(ReadWhole("config.txt"), "version=1");
  Chunks chunks = {"stale"};
  ASSERT_TRUE(ReadEntryChunks(chunks, *FindPackageEntry("Bin/big.dat")));
  EXPECT_EQ(chunks, (Chunks{big.substr(0, kEntryStoredLimit), "tail"}));
  EXPECT_EQ(ReadWhole("Bin/big.dat"), big);
  EXPECT_EQ(ReadWhole("Bin/big.dat"), big);  // reads keep no state
}

TEST(PackageIndex, AppliesTheLastRecordOfEachName) {
  auto file = Open(LayoutOf({
      MakeContentRecord("twice", "old"), MakeContentRecord("twice", "new"),
      MakeContentRecord("removed", "x"), MakeRemovalMarker("removed"),
      MakeRemovalMarker("restored"), MakeContentRecord("restored", "back"),
      MakeRemovalMarker("never there"),
  }));
  EXPECT_EQ(IndexNames(), (std::vector<std::string>{"restored", "twice"}));
  EXPECT_EQ(ReadWhole("twice"), "new");
  EXPECT_EQ(ReadWhole("restored"), "back");
  EXPECT_EQ(FindPackageEntry("restored")->volume, 0u);
}

TEST(PackageIndex, ComparesNamesAsUnsignedBytes) {
  const std::vector<std::string> sorted = {"Bin/a.dat", "Bina", "Z",      "a",
                                           "config.txt", "data", "data2", "\x80high"};
  std::vector<PackageRecord> records;
  for (auto name = sorted.rbegin(); name != sorted.rend(); ++name) {
    records.push_back(MakeContentRecord(*name, *name));
  }
  auto file = Open(LayoutOf(records));
  EXPECT_EQ(IndexNames(), sorted);
  EXPECT_EQ(ReadWhole("\x80high"), "\x80high");
  EXPECT_EQ(FindPackageEntry("Config.txt"), nullptr);
  EXPECT_EQ(FindPackageEntry("config.tx"), nullptr);
}

TEST(PackageIndex, ContentDoesNotDependOnChunkBoundaries) {
  // Every chunk length from one byte to the whole, across IDEA's 8-byte blocks, with and
  // without empty chunks in between.
  const std::string content = "Every split reads the same.";
  std::vector<PackageRecord> records;
  std::vector<Chunks> expected;
  for (uint32_t chunkLength = 1; chunkLength <= content.size(); ++chunkLength) {
    for (bool withEmptyChunks : {false, true}) {
      PackageRecord record = MakeContentRecord(
          std::to_string(chunkLength) + (withEmptyChunks ? "+0" : ""), content);
      Chunks chunks;
      for (size_t start = 0; start < content.size(); start += chunkLength) {
        if (withEmptyChunks) chunks.emplace_back();
        chunks.push_back(content.substr(start, chunkLength));
      }
      for (const std::string& chunk : chunks) {
        record.chunkPlainLengths.push_back(static_cast<uint32_t>(chunk.size()));
      }
      records.push_back(record);
      expected.push_back(chunks);
    }
  }
  auto file = Open(LayoutOf(records));
  for (size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(records[i].name);
    Chunks chunks;
    EXPECT_TRUE(ReadEntryChunks(chunks, *FindPackageEntry(records[i].name)));
    EXPECT_EQ(chunks, expected[i]);
    if (i % 2 == 1) {
      EXPECT_EQ(ReadWhole(records[i].name), content);
    }
  }
}

TEST(PackageIndex, ReadsAnEmptyEntryWithoutTouchingItsOffset) {
  auto file = Open(LayoutOf({MakeFixedRecord("empty", 0x7FFFFFF0, 0)}));
  EXPECT_EQ(ReadWhole("empty"), "");
  Chunks chunks = {"stale"};
  EXPECT_TRUE(ReadEntryChunks(chunks, *FindPackageEntry("empty")));
  EXPECT_TRUE(chunks.empty());
}

TEST(PackageIndex, FailsReadsItCannotStartAndLeavesTheResultAlone) {
  // The host carries a stream of two good chunks and a header that cannot be met.
  const std::string host =
      "host" + EncodeEntryChunk(kKey, "abc") + EncodeEntryChunk(kKey, "de") +
      EncodeEntryChunkHeader(9, 8) + std::string(8, '\0');
  PackageLayout layout =
      LayoutOf({MakeContentRecord("good", "content"), MakeFixedRecord("broken", 4, 100)});
  layout.host = host;
  auto file = Open(layout);

  std::string content = "kept";
  Chunks chunks = {"kept"};
  PackageEntry otherVolume = *FindPackageEntry("good");
  otherVolume.volume = 1;
  EXPECT_FALSE(ReadEntry(otherVolume, content));
  EXPECT_FALSE(ReadEntryChunks(chunks, otherVolume));
  PackageEntry unseekable = *FindPackageEntry("good");
  unseekable.offset = 0x80000000u;  // beyond a signed 32-bit seek
  EXPECT_FALSE(ReadEntry(unseekable, content));
  EXPECT_FALSE(ReadEntryChunks(chunks, unseekable));
  EXPECT_EQ(content, "kept");
  EXPECT_EQ(chunks, Chunks{"kept"});

  // A stream that breaks after good chunks fails; what arrived stays for the caller.
  EXPECT_FALSE(ReadEntryChunks(chunks, *FindPackageEntry("broken")));
  EXPECT_EQ(chunks, (Chunks{"abc", "de"}));
  EXPECT_FALSE(ReadEntry(*FindPackageEntry("broken"), content));

  const PackageIndexMap before = PackageIndex;
  std::remove(file->Path().c_str());
  EXPECT_FALSE(ReadEntry(*FindPackageEntry("good"), content));
  EXPECT_EQ(PackageIndex.size(), before.size());
  EXPECT_EQ(IndexNames(), (std::vector<std::string>{"broken", "good"}));
}

TEST(PackageIndex, ReservesNoMoreThanTheFileHoldsBehindTheEntry) {
  // A damaged size field claims 2 GiB of a file of a few hundred bytes. The read fails at
  // the first chunk header either way; it must not first allocate what the field claims.
  auto file = Open(LayoutOf({MakeFixedRecord("claims 2 GiB", 0, 0x7FFFFFF0)}));
  std::string content;
  EXPECT_FALSE(ReadEntry(*FindPackageEntry("claims 2 GiB"), content));
  EXPECT_LT(content.capacity(), 4096u);
}

TEST(PackageIndex, AFailedOpenLeavesTheIndexEmpty) {
  auto good = Open(LayoutOf({MakeContentRecord("config.txt", "version=1")}));
  ASSERT_EQ(PackageIndex.size(), 1u);

  DirectoryStreamWriter directory;
  directory.key = kKey;
  AppendDirectoryChunk(directory, EncodeDirectoryRecord("config.txt", PackageEntry()));
  AppendDirectoryChunk(directory, "\x05");  // a record cut after one byte
  AppendDirectoryTerminator(directory);
  TempFile damaged(BuildPackageAroundDirectory("host", kKey, directory.bytes));

  EXPECT_FALSE(OpenPackage(damaged.Native()));
  EXPECT_TRUE(PackageIndex.empty());
  ASSERT_EQ(PackageVolumeTable.size(), 1u);
  EXPECT_EQ(PackageVolumeTable[0].path, damaged.Native());

  EXPECT_FALSE(OpenPackage(ToNativePath(damaged.Path() + ".missing")));
  EXPECT_TRUE(PackageIndex.empty());

  auto empty = Open(LayoutOf({}));
  EXPECT_TRUE(PackageIndex.empty());
}

}  // namespace
