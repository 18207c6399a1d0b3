// Sweeps over damaged installers. A real installer from our writer (a small host, the
// manifest, nested names, an empty entry, an entry in several chunks, a directory in two
// chunks) is cut at every byte of its trailer, header and directory and at a spread of
// places in its entry data, and has bytes flipped in every region. Each case is read the
// way the installer reads: open, then config.txt whole and every other entry in chunks.
//
// A case ends as damage the installer reports (the open or an entry read fails), or reads
// back exactly what was packed, or changes what the format cannot check, and then only
// where the damage lies: there is no checksum, so a flipped ciphertext byte turns one
// 8-byte block of its entry into other bytes, a garbled directory block changes the
// records from there to the end of its chunk, and a changed chunk length changes how much
// of which bytes its entry reads. Every other entry that reads back is exactly what was
// packed. Each sweep prints its counts; crashes, hangs and out-of-bounds reads show up
// under the sanitizers.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "TempFile.h"
#include "package/PackageIndex.h"
#include "support/PackageFixture.h"

namespace {

const std::string kKey = "damage sweep key";
const std::array<uint8_t, 3> kFlipPatterns = {0x01, 0x80, 0xFF};

using Order = std::array<PackageRegion, 3>;
const Order kPackerOrder = {PackageRegion::kEntryData, PackageRegion::kDirectory,
                            PackageRegion::kHeader};
const Order kEntryDataLast = {PackageRegion::kDirectory, PackageRegion::kHeader,
                              PackageRegion::kEntryData};

struct Span {
  size_t begin = 0;
  size_t end = 0;
  bool Contains(size_t position) const { return position >= begin && position < end; }
};

// A run of bytes of the installer and the entries whose reading depends on it.
struct Part {
  Span span;
  std::vector<std::string> entries;
};

// The installer's bytes and where its parts lie.
struct Installer {
  std::string bytes;
  std::vector<PackageRecord> records;
  std::map<std::string, std::string> contents;  // as packed
  Span directory, trailer;
  std::vector<Part> entryChunkHeaders, entryCiphertext;  // each with its entry
  // Each chunk's ciphertext, with its records' names in order.
  std::vector<Part> directoryCiphertext;
  Span entryData;  // from the first chunk header to the end of the last ciphertext
};

uint32_t Load(const std::string& bytes, size_t at, size_t width, bool bigEndian) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) {
    value = value << 8 | static_cast<uint8_t>(bytes[at + (bigEndian ? i : width - 1 - i)]);
  }
  return value;
}

std::string Tiles() {
  std::string tiles;
  for (int i = 0; i < 300; ++i) tiles.push_back(static_cast<char>('a' + i % 26));
  return tiles;
}

const std::vector<uint32_t> kDirectoryChunkRecordCounts = {3, 2};

Installer MakeInstaller(const Order& order) {
  PackageLayout layout;
  layout.host = "MZ" + std::string(62, '\x90');
  layout.key = kKey;
  layout.records = {
      MakeContentRecord("config.txt", "1.0.5 <= 1.0.4\nFirst line of notes.\nSecond line.\n"),
      MakeContentRecord("Bin/renderer.cfg", "[Renderer]\nAAQuality=2\n"),
      MakeContentRecord("Data/ui/empty.flag", ""),
      MakeContentRecord("Data/maps/desert/tiles.txt", Tiles()),
      MakeContentRecord("Bin/Vantis.dat", "game data"),
  };
  layout.records[3].chunkPlainLengths = {100, 0, 37, 163};
  layout.directoryChunkRecordCounts = kDirectoryChunkRecordCounts;
  layout.regionOrder = order;

  Installer installer;
  installer.bytes = BuildPackage(layout);
  installer.records = layout.records;
  for (const PackageRecord& record : layout.records) {
    installer.contents[record.name] = record.content;
  }

  // Found the way the reader finds them, from the trailer on.
  const std::string& bytes = installer.bytes;
  installer.trailer = {bytes.size() - 4, bytes.size()};
  const size_t headerOffset = Load(bytes, bytes.size() - 4, 4, false) ^ kTrailerMask;
  const size_t directoryOffset = Load(bytes, headerOffset + 2 + kKey.size(), 4, false);
  size_t position = directoryOffset;
  uint32_t chain = kDirectoryChainSeed;
  size_t nextRecord = 0;
  for (uint32_t recordCount : kDirectoryChunkRecordCounts) {
    const uint32_t maskedPlainLength = Load(bytes, position, 2, true);
    const uint32_t storedLength = Load(bytes, position + 2, 2, false) ^ maskedPlainLength;
    Part ciphertext{{position + 4, position + 4 + storedLength}, {}};
    for (uint32_t i = 0; i < recordCount; ++i) {
      ciphertext.entries.push_back(layout.records[nextRecord++].name);
    }
    installer.directoryCiphertext.push_back(ciphertext);
    position = ciphertext.span.end;
    chain = maskedPlainLength;
  }
  EXPECT_EQ(Load(bytes, position, 2, true), chain) << "the terminator";
  installer.directory = {directoryOffset, position + 4};

  // Each entry's stream, chunk by chunk, from its record's offset.
  TempFile file(bytes);
  EXPECT_TRUE(OpenPackage(file.Native()));
  installer.entryData = {bytes.size(), 0};
  for (const auto& [name, entry] : PackageIndex) {
    position = entry.offset;
    for (uint32_t delivered = 0; delivered < entry.size;) {
      delivered += Load(bytes, position, 4, true);
      const uint32_t storedLength = Load(bytes, position + 4, 4, false);
      installer.entryChunkHeaders.push_back({{position, position + 8}, {name}});
      installer.entryCiphertext.push_back({{position + 8, position + 8 + storedLength}, {name}});
      installer.entryData.begin = std::min(installer.entryData.begin, position);
      position += 8 + storedLength;
      installer.entryData.end = std::max(installer.entryData.end, position);
    }
  }
  return installer;
}

const Part* FindPart(const std::vector<Part>& parts, size_t position) {
  for (const Part& part : parts) {
    if (part.span.Contains(position)) return &part;
  }
  return nullptr;
}

enum class Outcome { kDamaged, kExact, kChanged };

struct Reading {
  Outcome outcome = Outcome::kDamaged;
  // Entries that read back other bytes than were packed (or were never packed), with what
  // they read; and packed entries that the index lacks.
  std::map<std::string, std::string> changed;
  std::vector<std::string> missing;
};

Reading ReadAsTheInstaller(const TempFile& file, const Installer& installer) {
  Reading reading;
  if (!OpenPackage(file.Native())) {
    EXPECT_TRUE(PackageIndex.empty());
    return reading;
  }
  bool anyReadFailed = false;
  for (const auto& [name, entry] : PackageIndex) {
    std::string content;
    bool read = false;
    if (name == "config.txt") {
      read = ReadEntry(entry, content);
    } else {
      std::vector<std::string> chunks;
      read = ReadEntryChunks(chunks, entry);
      for (const std::string& chunk : chunks) content += chunk;
    }
    if (!read) {
      anyReadFailed = true;
      continue;
    }
    const auto packed = installer.contents.find(name);
    if (packed == installer.contents.end() || packed->second != content) {
      reading.changed[name] = content;
    }
  }
  for (const auto& [name, content] : installer.contents) {
    if (!FindPackageEntry(name)) reading.missing.push_back(name);
  }
  if (anyReadFailed) {
    reading.outcome = Outcome::kDamaged;
  } else if (reading.changed.empty() && reading.missing.empty()) {
    reading.outcome = Outcome::kExact;
  } else {
    reading.outcome = Outcome::kChanged;
  }
  return reading;
}

// What damage at one place may change without the installer noticing. By default nothing:
// every entry that reads back, and every entry the index holds, is what was packed.
struct Allowance {
  std::vector<std::string> entries;  // may read other bytes, or be missing
  bool newNames = false;             // names never packed may appear
  bool oneBlock = false;             // a change keeps the length and stays in 8 bytes
};

void ExpectWithin(const Reading& reading, const Installer& installer,
                  const Allowance& allowance, const std::string& what) {
  const auto allowed = [&allowance](const std::string& name) {
    return std::find(allowance.entries.begin(), allowance.entries.end(), name) !=
           allowance.entries.end();
  };
  for (const std::string& name : reading.missing) {
    EXPECT_TRUE(allowed(name)) << what << ": " << name << " is missing";
  }
  for (const auto& [name, content] : reading.changed) {
    const auto packed = installer.contents.find(name);
    if (packed == installer.contents.end()) {
      EXPECT_TRUE(allowance.newNames) << what << ": an entry that was never packed";
      continue;
    }
    EXPECT_TRUE(allowed(name)) << what << ": " << name << " reads other bytes";
    if (!allowance.oneBlock) continue;
    ASSERT_EQ(content.size(), packed->second.size()) << what << ": " << name;
    size_t first = content.size(), last = 0;
    for (size_t i = 0; i < content.size(); ++i) {
      if (content[i] != packed->second[i]) {
        first = std::min(first, i);
        last = i;
      }
    }
    EXPECT_LT(last - first, 8u) << what << ": " << name;
  }
}

// One sweep's cases and outcomes, printed as one line when it ends.
class Tally {
 public:
  explicit Tally(std::string sweep) : sweep_(std::move(sweep)) {}
  ~Tally() {
    std::printf("[damage sweep] %-42s %4zu cases: %4zu damaged, %3zu exact, %3zu changed\n",
                sweep_.c_str(), damaged_ + exact_ + changed_, damaged_, exact_, changed_);
  }
  void Count(Outcome outcome) {
    ++(outcome == Outcome::kDamaged ? damaged_ : outcome == Outcome::kExact ? exact_ : changed_);
  }

 private:
  std::string sweep_;
  size_t damaged_ = 0, exact_ = 0, changed_ = 0;
};

std::string At(const char* kind, size_t position, uint8_t pattern = 0) {
  char text[64];
  std::snprintf(text, sizeof text, "%s at %zu, pattern 0x%02X", kind, position, pattern);
  return text;
}

// Cuts at every byte from `begin` to the end of the file and at every `step`-th byte
// before it: a download that stopped early.
void SweepCuts(const Installer& installer, size_t begin, size_t step, Tally& tally) {
  TempFile file;
  for (size_t length = 0; length < installer.bytes.size();
       length += length < begin ? step : 1) {
    file.Write(installer.bytes.substr(0, length));
    const Reading reading = ReadAsTheInstaller(file, installer);
    tally.Count(reading.outcome);
    ExpectWithin(reading, installer, {}, At("cut", length));
  }
}

TEST(DamageSweep, CutsEndTheReadAsDamaged) {
  // The trailer goes with the cut, so whatever the last four bytes now are leads the reader.
  const Installer installer = MakeInstaller(kPackerOrder);
  Tally tally("cut, structure every byte, entry data every 3rd");
  SweepCuts(installer, installer.directory.begin, 3, tally);
}

TEST(DamageSweep, CutsInEntryDataThatKeepTheTrailerSpareEveryEntryBefore) {
  // With the entry data last, a cut that keeps the trailer leaves header and directory
  // whole: the entries before the cut must still read exactly, the rest fail or, where the
  // trailer's four bytes stand in for the end of a stream's ciphertext, read one block
  // changed.
  const Installer installer = MakeInstaller(kEntryDataLast);
  const std::string trailer = installer.bytes.substr(installer.trailer.begin);
  TempFile file;
  Tally tally("cut in entry data, trailer kept");
  for (size_t length = installer.entryData.begin; length < installer.entryData.end; ++length) {
    const Part* owner = FindPart(installer.entryCiphertext, length);
    // Every byte near the end of a chunk, where the trailer can complete it; a spread else.
    if (!(owner && owner->span.end - length <= 8) && length % 4 != 0) continue;
    file.Write(installer.bytes.substr(0, length) + trailer);
    const Reading reading = ReadAsTheInstaller(file, installer);
    tally.Count(reading.outcome);
    Allowance allowance;
    if (owner) allowance = {owner->entries, false, true};
    ExpectWithin(reading, installer, allowance, At("cut", length));
  }
}

TEST(DamageSweep, FlipsInTrailerHeaderAndDirectory) {
  const Installer installer = MakeInstaller(kPackerOrder);
  TempFile file;
  Tally plainTally("flip in trailer, header, chunk headers");
  Tally cipherTally("flip in directory ciphertext");
  for (size_t position = installer.directory.begin; position < installer.bytes.size();
       ++position) {
    // A garbled block of records may rename, move or resize its own records and those
    // after it in the chunk, which then parse from garbage: those may change, the rest not.
    const Part* chunk = FindPart(installer.directoryCiphertext, position);
    Allowance allowance;
    if (chunk) {
      const size_t blockStart = (position - chunk->span.begin) / 8 * 8;
      size_t recordEnd = 0;
      for (const std::string& name : chunk->entries) {
        recordEnd += 16 + name.size();
        if (recordEnd > blockStart) allowance.entries.push_back(name);
      }
      allowance.newNames = true;
    }
    for (uint8_t pattern : kFlipPatterns) {
      std::string damaged = installer.bytes;
      damaged[position] = static_cast<char>(damaged[position] ^ pattern);
      file.Write(damaged);
      const Reading reading = ReadAsTheInstaller(file, installer);
      (chunk ? cipherTally : plainTally).Count(reading.outcome);
      ExpectWithin(reading, installer, allowance, At("flip", position, pattern));
    }
  }
}

TEST(DamageSweep, FlipsInEntryDataChangeOnlyTheirEntry) {
  // The chunk lengths are plain and unprotected: a changed length can make the entry read
  // more or fewer bytes, or run on into the next entry's stream, but never touches
  // another entry. A ciphertext flip changes one block of its entry.
  const Installer installer = MakeInstaller(kPackerOrder);
  TempFile file;
  Tally headerTally("flip in entry chunk headers");
  Tally cipherTally("flip in entry ciphertext, every 5th byte");
  for (size_t position = installer.entryData.begin; position < installer.entryData.end;
       ++position) {
    const Part* header = FindPart(installer.entryChunkHeaders, position);
    const Part* ciphertext = FindPart(installer.entryCiphertext, position);
    ASSERT_TRUE(header || ciphertext);
    if (!header && position % 5 != 0) continue;
    for (uint8_t pattern : kFlipPatterns) {
      std::string damaged = installer.bytes;
      damaged[position] = static_cast<char>(damaged[position] ^ pattern);
      file.Write(damaged);
      const Reading reading = ReadAsTheInstaller(file, installer);
      (header ? headerTally : cipherTally).Count(reading.outcome);
      const std::string what = At("flip", position, pattern);
      if (header) {
        ExpectWithin(reading, installer, {header->entries, false, false}, what);
      } else {
        // Any flip garbles the whole block, so one pattern shows what all would.
        EXPECT_EQ(reading.outcome, Outcome::kChanged) << what;
        ExpectWithin(reading, installer, {ciphertext->entries, false, true}, what);
        break;
      }
    }
  }
}

}  // namespace
