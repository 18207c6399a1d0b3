#pragma once
// The installer's process-wide package state, filled once at start-up from a package value
// (package/Package.h): the opened volumes and every entry by name.

#include <cstdint>
#include <string>
#include <vector>

#include "package/Package.h"

// Written only by OpenPackage, before any other thread exists; read-only afterwards.
extern std::vector<PackageVolume> PackageVolumeTable;
extern PackageIndexMap PackageIndex;

// Empties the state and opens `path` as volume 0. False when the file cannot be opened or
// is no valid package; the index then stays empty.
bool OpenPackage(const NativePath& path);

// Opens one volume of the table and merges its directory into the index, applying removal
// markers. The index is untouched on failure.
bool OpenPackageVolume(uint32_t volume);

// Exact, case-sensitive lookup. Null when the name is absent.
const PackageEntry* FindPackageEntry(const std::string& name);

// The entry's content, read and decrypted chunk by chunk into `sink`, through a handle of
// its own on the entry's volume. False when the entry cannot be read whole, when the sink
// refuses a chunk, or when memory runs out (here or in the sink).
bool StreamEntry(const PackageEntry& entry, ChunkSink sink, void* context);

// The entry's whole content, replacing what `content` held. Each call opens its own handle.
bool ReadEntry(const PackageEntry& entry, std::string& content);

// The entry's content as one string per chunk of its stream, in order.
bool ReadEntryChunks(std::vector<std::string>& chunks, const PackageEntry& entry);

// False when the package carries integrity data and its frame or directory is damaged.
bool IsPackageFrameIntact();
