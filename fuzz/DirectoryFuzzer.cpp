// Property: directory records, framed and encrypted by our writer as chunk plaintexts, read
// back through ReadPackageHeader into exactly the map that a plain reading of the records
// gives (the last record of a name wins), and the read fails exactly when some chunk's
// plaintext does not end on a record boundary, keeping the records before the bad one.
// OpenPackage agrees and holds the same entries less the removed names; reading them, at
// whatever offset and size the records claim, ends cleanly.
//
// The fuzzer reaches the record parser directly: mutations of the encrypted stream would
// decrypt to noise. Input: chunk plaintexts separated by "|chunk|"; longer pieces than a
// chunk holds are cut, and empty ones are dropped (a chunk without bytes is the terminator).

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzTarget.h"
#include "package/PackageIndex.h"
#include "support/PackageFixture.h"

namespace {

const std::string kKey = "directory fuzzing key";
const std::string kHost = "host program";
const std::string kSeparator = "|chunk|";
constexpr size_t kEntriesRead = 16;  // each read costs a 2 MiB buffer

std::vector<std::string> SplitChunks(const std::string& input) {
  std::vector<std::string> chunks;
  size_t start = 0;
  while (start <= input.size()) {
    size_t end = input.find(kSeparator, start);
    if (end == std::string::npos) end = input.size();
    for (size_t at = start; at < end; at += kDirectoryChunkLimit) {
      chunks.push_back(input.substr(at, std::min<size_t>(end - at, kDirectoryChunkLimit)));
    }
    start = end + kSeparator.size();
  }
  return chunks;
}

uint32_t LittleEndian(const std::string& bytes, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t i = width; i-- > 0;) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

// The record layout read independently of the product's parser: u16 nameLength, name,
// u8 aux1, u8 aux2, u32 offset, u32 size, u32 aux3.
bool ReadRecordsPlainly(const std::string& chunk, DirectoryMap& directory) {
  size_t at = 0;
  while (at < chunk.size()) {
    if (chunk.size() - at < 2) return false;
    const size_t nameLength = LittleEndian(chunk, at, 2);
    if (chunk.size() - at - 2 < nameLength + 14) return false;
    const size_t fields = at + 2 + nameLength;
    PackageEntry entry;
    entry.aux1 = static_cast<uint8_t>(chunk[fields]);
    entry.aux2 = static_cast<uint8_t>(chunk[fields + 1]);
    entry.offset = LittleEndian(chunk, fields + 2, 4);
    entry.size = LittleEndian(chunk, fields + 6, 4);
    entry.aux3 = LittleEndian(chunk, fields + 10, 4);
    directory[chunk.substr(at + 2, nameLength)] = entry;
    at = fields + 14;
  }
  return true;
}

bool SameEntry(const PackageEntry& a, const PackageEntry& b) {
  return a.volume == b.volume && a.offset == b.offset && a.aux1 == b.aux1 &&
         a.aux2 == b.aux2 && a.size == b.size && a.aux3 == b.aux3;
}

bool SameMap(const DirectoryMap& a, const DirectoryMap& b) {
  if (a.size() != b.size()) return false;
  for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
    if (i->first != j->first || !SameEntry(i->second, j->second)) return false;
  }
  return true;
}

}  // namespace

int FuzzOne(const uint8_t* data, size_t size) {
  DirectoryStreamWriter stream;
  stream.key = kKey;
  DirectoryMap expected;
  bool expectedRead = true;
  for (const std::string& chunk :
       SplitChunks(std::string(reinterpret_cast<const char*>(data), size))) {
    if (chunk.empty()) continue;
    AppendDirectoryChunk(stream, chunk);
    if (expectedRead) expectedRead = ReadRecordsPlainly(chunk, expected);
  }
  AppendDirectoryTerminator(stream);
  const std::string file = BuildPackageAroundDirectory(kHost, kKey, stream.bytes);
  WriteFuzzFile(file.data(), file.size());

  PackageVolume volume;
  DirectoryMap directory;
  {
    ScopedFile package(OpenFileForSharedRead(FuzzFilePath()));
    FUZZ_CHECK(package.IsOpen());
    FUZZ_CHECK(ReadPackageHeader(volume, package.Get(), directory) == expectedRead);
  }
  FUZZ_CHECK(volume.key == kKey);
  FUZZ_CHECK(SameMap(directory, expected));

  FUZZ_CHECK(OpenPackage(FuzzFilePath()) == expectedRead);
  if (!expectedRead) return 0;
  for (auto item = expected.begin(); item != expected.end();) {
    item = IsRemovalMarker(item->second) ? expected.erase(item) : std::next(item);
  }
  FUZZ_CHECK(SameMap(PackageIndex, expected));

  size_t entriesRead = 0;
  for (const auto& [name, entry] : PackageIndex) {
    if (entriesRead++ == kEntriesRead) break;
    std::string content;
    if (ReadEntry(entry, content)) FUZZ_CHECK(content.size() >= entry.size);
  }
  return 0;
}
