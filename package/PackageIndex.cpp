#include "package/PackageIndex.h"

#include <utility>

std::vector<PackageVolume> PackageVolumeTable;
PackageIndexMap PackageIndex;

bool OpenPackage(const NativePath& path) {
  PackageIndex.clear();
  PackageVolumeTable.clear();
  try {
    PackageVolume volume;
    volume.path = path;
    PackageVolumeTable.push_back(std::move(volume));
  } catch (...) {
    return false;
  }
  return OpenPackageVolume(0);
}

bool OpenPackageVolume(uint32_t volume) {
  return ReadPackageVolume(PackageVolumeTable, PackageIndex, volume);
}

const PackageEntry* FindPackageEntry(const std::string& name) {
  auto found = PackageIndex.find(name);
  return found == PackageIndex.end() ? nullptr : &found->second;
}

bool StreamEntry(const PackageEntry& entry, ChunkSink sink, void* context) {
  return StreamEntry(PackageVolumeTable, entry, sink, context);
}

bool ReadEntry(const PackageEntry& entry, std::string& content) {
  return ReadEntry(PackageVolumeTable, entry, content);
}

bool ReadEntryChunks(std::vector<std::string>& chunks, const PackageEntry& entry) {
  return ReadEntryChunks(PackageVolumeTable, chunks, entry);
}

bool IsPackageFrameIntact() {
  for (const PackageVolume& volume : PackageVolumeTable) {
    if (!IsFrameAndDirectoryIntact(volume.integrity)) return false;
  }
  return true;
}
