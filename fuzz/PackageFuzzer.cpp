// Property: any bytes, opened as an installer, either fail to open, leaving the index empty,
// or open into an index whose every entry either fails to read or reads to at least its
// size, with the same bytes whole as in chunks. Under the sanitizers and libFuzzer's malloc
// limit: no access out of bounds, no undefined arithmetic, and no allocation of what a
// size field merely claims.

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

  for (const auto& [name, entry] : PackageIndex) {
    FUZZ_CHECK(!IsRemovalMarker(entry));
    FUZZ_CHECK(entry.volume == 0);

    std::string content;
    const bool readWhole = ReadEntry(entry, content);
    std::vector<std::string> chunks;
    const bool readInChunks = ReadEntryChunks(chunks, entry);
    FUZZ_CHECK(readWhole == readInChunks);
    if (!readWhole) continue;

    FUZZ_CHECK(content.size() >= entry.size);
    std::string joined;
    for (const std::string& chunk : chunks) joined += chunk;
    FUZZ_CHECK(joined == content);
  }
  return 0;
}
