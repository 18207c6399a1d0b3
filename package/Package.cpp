#include "package/Package.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "package/format/EntryStream.h"
#include "package/format/IntegrityBlock.h"
#include "package/format/PackageEnd.h"

namespace {

bool AppendToString(const uint8_t* data, uint32_t length, void* context) {
  static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), length);
  return true;
}

// A fresh handle on the entry's volume, positioned at its data stream, or kInvalidFile.
// Each read has its own handle, so reads on different threads share no file position.
FileHandle OpenEntryData(const std::vector<PackageVolume>& volumes, const PackageEntry& entry) {
  if (entry.volume >= volumes.size()) return kInvalidFile;
  FileHandle file = OpenFileForSharedRead(volumes[entry.volume].path);
  if (file == kInvalidFile) return kInvalidFile;
  if (!SeekFileFromStart(file, entry.offset, nullptr)) {
    CloseFile(file);
    return kInvalidFile;
  }
  return file;
}

// The entry's stream from `file`, opened by OpenEntryData, under its volume's key, and
// checked against the record where the volume carries integrity data.
bool ReadOpenedEntry(const std::vector<PackageVolume>& volumes, FileHandle file,
                     const PackageEntry& entry, ChunkSink sink, void* context) {
  const PackageVolume& volume = volumes[entry.volume];
  if (!volume.integrity.present) return ReadEntryStream(sink, context, file, entry.size, volume.key);
  uint32_t checksum = 0;
  return ReadEntryStream(sink, context, file, entry.size, volume.key, checksum) &&
         checksum == entry.aux3;
}

// What ReadEntry reserves: the entry's size, but never more than the file holds behind the
// entry's offset. A well-formed entry's content is never longer than that, since every
// plaintext byte comes from a stored byte, so its chunks still append without reallocating;
// a damaged size field cannot claim gigabytes before the first chunk fails to read.
uint32_t ReservedLength(FileHandle file, const PackageEntry& entry) {
  uint32_t fileSize = 0;
  if (!GetFileSize32(file, &fileSize) || fileSize <= entry.offset) return 0;
  const uint32_t stored = fileSize - entry.offset;
  return entry.size < stored ? entry.size : stored;
}

}  // namespace

bool ReadPackage(const NativePath& path, Package& package) {
  try {
    Package opened;
    PackageVolume volume;
    volume.path = path;
    opened.volumes.push_back(std::move(volume));
    if (!ReadPackageVolume(opened.volumes, opened.index, 0)) return false;
    package = std::move(opened);
    return true;
  } catch (...) {
    return false;
  }
}

bool ReadPackageVolume(std::vector<PackageVolume>& volumes, PackageIndexMap& index,
                       uint32_t volume) {
  assert(volume < volumes.size());
  PackageVolume& packageVolume = volumes[volume];
  ScopedFile file(OpenFileForSharedRead(packageVolume.path));
  if (!file.IsOpen()) return false;

  try {
    DirectoryMap directory;
    if (!ReadPackageHeader(packageVolume, file.Get(), directory)) return false;
    uint32_t fileSize = 0;
    if (!GetFileSize32(file.Get(), &fileSize)) return false;
    packageVolume.integrity =
        CheckPackageIntegrity(file.Get(), FindPackageEnd(file.Get(), fileSize).endOffset);

    // Merged into a copy so that running out of memory halfway leaves the index as it was.
    PackageIndexMap merged = index;
    for (auto& [name, entry] : directory) {
      if (IsRemovalMarker(entry)) {
        merged.erase(name);
      } else {
        entry.volume = volume;
        merged.insert_or_assign(name, entry);
      }
    }
    index.swap(merged);
    return true;
  } catch (...) {
    return false;
  }
}

const PackageEntry* FindPackageEntry(const Package& package, const std::string& name) {
  auto found = package.index.find(name);
  return found == package.index.end() ? nullptr : &found->second;
}

bool ReadEntry(const std::vector<PackageVolume>& volumes, const PackageEntry& entry,
               std::string& content) {
  ScopedFile file(OpenEntryData(volumes, entry));
  if (!file.IsOpen()) return false;
  try {
    // Appending the chunks then never reallocates, unless the last chunk runs past size.
    content.reserve(ReservedLength(file.Get(), entry));
    content.clear();
    return ReadOpenedEntry(volumes, file.Get(), entry, AppendToString, &content);
  } catch (...) {
    return false;
  }
}

bool StreamEntry(const std::vector<PackageVolume>& volumes, const PackageEntry& entry,
                 ChunkSink sink, void* context) {
  ScopedFile file(OpenEntryData(volumes, entry));
  if (!file.IsOpen()) return false;
  try {
    return ReadOpenedEntry(volumes, file.Get(), entry, sink, context);
  } catch (...) {
    return false;
  }
}

bool ReadEntryChunks(const std::vector<PackageVolume>& volumes, std::vector<std::string>& chunks,
                     const PackageEntry& entry) {
  ScopedFile file(OpenEntryData(volumes, entry));
  if (!file.IsOpen()) return false;
  chunks.clear();
  try {
    return ReadOpenedEntry(volumes, file.Get(), entry, CollectChunk, &chunks);
  } catch (...) {
    chunks.clear();
    return false;
  }
}

bool CheckEntryIntegrity(const std::vector<PackageVolume>& volumes, const PackageEntry& entry) {
  return FindDamagedEntries(volumes, {&entry}).empty();
}

namespace {

// The entries at `order[0..count)`, all of `volume` and sorted by offset, through one handle.
void CheckVolumeEntries(const PackageVolume& volume, const std::vector<const PackageEntry*>& entries,
                        const size_t* order, size_t count, std::vector<size_t>& damaged) {
  ScopedFile file(OpenFileForSharedRead(volume.path));
  uint64_t position = 0;
  bool positionKnown = false;
  for (size_t i = 0; i < count; ++i) {
    const PackageEntry& entry = *entries[order[i]];
    bool intact = false;
    if (file.IsOpen()) {
      try {
        // The packer lays entries end to end: most need no seek.
        if (!positionKnown || position != entry.offset) {
          positionKnown = SeekFileFromStart(file.Get(), entry.offset, nullptr);
          position = entry.offset;
        }
        uint32_t checksum = 0;
        uint64_t walked = 0;
        intact = positionKnown &&
                 ChecksumEntryStream(file.Get(), entry.size, checksum, walked) &&
                 checksum == entry.aux3;
        position += walked;
        positionKnown = positionKnown && intact;
      } catch (...) {
        positionKnown = false;
      }
    }
    if (!intact) damaged.push_back(order[i]);
  }
}

}  // namespace

std::vector<size_t> FindDamagedEntries(const std::vector<PackageVolume>& volumes,
                                       const std::vector<const PackageEntry*>& entries) {
  std::vector<size_t> damaged;
  std::vector<size_t> order;
  for (size_t i = 0; i < entries.size(); ++i) {
    const uint32_t volume = entries[i]->volume;
    if (volume >= volumes.size()) {
      damaged.push_back(i);
    } else if (volumes[volume].integrity.present) {
      order.push_back(i);
    }
  }
  std::sort(order.begin(), order.end(), [&entries](size_t a, size_t b) {
    return std::make_pair(entries[a]->volume, entries[a]->offset) <
           std::make_pair(entries[b]->volume, entries[b]->offset);
  });

  for (size_t first = 0; first < order.size();) {
    const uint32_t volume = entries[order[first]]->volume;
    size_t last = first;
    while (last < order.size() && entries[order[last]]->volume == volume) ++last;
    CheckVolumeEntries(volumes[volume], entries, order.data() + first, last - first, damaged);
    first = last;
  }
  std::sort(damaged.begin(), damaged.end());
  return damaged;
}
