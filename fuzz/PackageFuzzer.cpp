// Property: any bytes, opened as an installer, either fail to open, leaving the index empty,
// or open into an index whose every entry either fails to read or reads to at least its
// size, with the same bytes whole as in chunks; an entry that reads also passes the
// integrity check that walks its bytes without decrypting them, and the check of all entries
// through one handle finds the same ones damaged as the check of each. No read reserves more than the file could
// hold, whatever size the directory claims; under libFuzzer's malloc limit no allocation
// may, and under the sanitizers there is no access out of bounds and no undefined
// arithmetic.

#include <algorithm>
#include <string>
#include <vector>

#include "FuzzTarget.h"
#include "package/PackageIndex.h"

int FuzzOne(const uint8_t* data, size_t size) {
  WriteFuzzFile(data, size);
  if (!OpenPackage(FuzzFilePath())) {
    FUZZ_CHECK(PackageIndex.empty());
    return 0;
  }
  IsPackageFrameIntact();

  for (const auto& [name, entry] : PackageIndex) {
    FUZZ_CHECK(!IsRemovalMarker(entry));
    FUZZ_CHECK(entry.volume == 0);

    std::string content;
    const bool readWhole = ReadEntry(entry, content);
    // Room for the file's bytes and for growth past them, whatever the entry's size says.
    FUZZ_CHECK(content.capacity() <= 2 * (size + content.size()) + 64);
    std::vector<std::string> chunks;
    const bool readInChunks = ReadEntryChunks(chunks, entry);
    FUZZ_CHECK(readWhole == readInChunks);
    if (!readWhole) continue;
    FUZZ_CHECK(CheckEntryIntegrity(PackageVolumeTable, entry));

    FUZZ_CHECK(content.size() >= entry.size);
    std::string joined;
    for (const std::string& chunk : chunks) joined += chunk;
    FUZZ_CHECK(joined == content);
  }
  // Checking all entries through one handle agrees with checking each on its own.
  std::vector<const PackageEntry*> entries;
  for (const auto& item : PackageIndex) entries.push_back(&item.second);
  const std::vector<size_t> damaged = FindDamagedEntries(PackageVolumeTable, entries);
  for (size_t i = 0; i < entries.size(); ++i) {
    const bool listed = std::binary_search(damaged.begin(), damaged.end(), i);
    FUZZ_CHECK(listed == !CheckEntryIntegrity(PackageVolumeTable, *entries[i]));
  }
  return 0;
}
