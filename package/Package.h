#pragma once
// An opened package as a value: its volumes, and every entry by name once the volumes'
// directories are merged. The installer keeps one as process-wide state
// (package/PackageIndex.h); the tool holds its own.

#include <cstdint>
#include <string>
#include <vector>

#include "package/PackageContainer.h"
#include "package/format/ChunkSink.h"
#include "package/format/DirectoryRecord.h"

using PackageIndexMap = DirectoryMap;

struct Package {
  std::vector<PackageVolume> volumes;
  PackageIndexMap index;
};

// Opens `path` as volume 0 of a new package. False when the file cannot be opened or is
// no valid package. A package whose integrity data finds damage still opens: callers decide
// by the volume's `integrity`.
bool ReadPackage(const NativePath& path, Package& package);

// Opens volume `volume` of `volumes`, writes its key and integrity, and merges its
// directory into `index`, applying removal markers. The index is untouched on failure.
bool ReadPackageVolume(std::vector<PackageVolume>& volumes, PackageIndexMap& index,
                       uint32_t volume);

// Exact, case-sensitive lookup. Null when the name is absent.
const PackageEntry* FindPackageEntry(const Package& package, const std::string& name);

// The entry's content, read and decrypted chunk by chunk into `sink`, through a handle of
// its own on the entry's volume of `volumes`. False when the entry cannot be read whole,
// when the sink refuses a chunk, or when memory runs out (here or in the sink). Where the
// volume carries integrity data, also false when the data read is not what was packed;
// the sink has then seen it all, so a caller keeps nothing of it before the result.
bool StreamEntry(const std::vector<PackageVolume>& volumes, const PackageEntry& entry,
                 ChunkSink sink, void* context);

// The entry's whole content, replacing what `content` held. Each call opens its own handle.
bool ReadEntry(const std::vector<PackageVolume>& volumes, const PackageEntry& entry,
               std::string& content);

// The entry's content as one string per chunk of its stream, in order.
bool ReadEntryChunks(const std::vector<PackageVolume>& volumes, std::vector<std::string>& chunks,
                     const PackageEntry& entry);

// Whether the entry's stored data is what was packed, checked without decrypting: true
// when it matches its record, or when the volume carries no integrity data to check it
// with. Cheap next to a read: no decryption and no copy kept.
bool CheckEntryIntegrity(const std::vector<PackageVolume>& volumes, const PackageEntry& entry);

// CheckEntryIntegrity for many entries at once: the indexes into `entries` of those that
// fail, in ascending order. One handle per volume, the entries taken in the order their
// data lies, so that a package of many small entries costs a pass of reads, not an open,
// a seek and a close per entry.
std::vector<size_t> FindDamagedEntries(const std::vector<PackageVolume>& volumes,
                                       const std::vector<const PackageEntry*>& entries);
