#include "package/PackageIndex.h"

#include <cassert>
#include <utility>

#include "package/format/EntryStream.h"

std::vector<PackageVolume> PackageVolumeTable;
PackageIndexMap PackageIndex;

namespace {

bool AppendToString(const uint8_t* data, uint32_t length, void* context) {
  static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), length);
  return true;
}

// A fresh handle on the entry's volume, positioned at its data stream, or kInvalidFile.
// Each read has its own handle, so reads on different threads share no file position.
FileHandle OpenEntryData(const PackageEntry& entry) {
  if (entry.volume >= PackageVolumeTable.size()) return kInvalidFile;
  FileHandle file = OpenFileForSharedRead(PackageVolumeTable[entry.volume].path);
  if (file == kInvalidFile) return kInvalidFile;
  if (!SeekFileFromStart(file, entry.offset, nullptr)) {
    CloseFile(file);
    return kInvalidFile;
  }
  return file;
}

// The entry's stream from `file`, opened by OpenEntryData, under its volume's key.
bool ReadOpenedEntry(FileHandle file, const PackageEntry& entry, ChunkSink sink, void* context) {
  return ReadEntryStream(file, entry.size, PackageVolumeTable[entry.volume].key, sink, context);
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
  assert(volume < PackageVolumeTable.size());
  PackageVolume& packageVolume = PackageVolumeTable[volume];
  ScopedFile file(OpenFileForSharedRead(packageVolume.path));
  if (!file.IsOpen()) return false;

  try {
    DirectoryMap directory;
    if (!ReadVolumeDirectory(packageVolume, file.Get(), directory)) return false;

    // Merged into a copy so that running out of memory halfway leaves the index as it was.
    PackageIndexMap merged = PackageIndex;
    for (auto& [name, entry] : directory) {
      if (IsRemovalMarker(entry)) {
        merged.erase(name);
      } else {
        entry.volume = volume;
        merged.insert_or_assign(name, entry);
      }
    }
    PackageIndex.swap(merged);
    return true;
  } catch (...) {
    return false;
  }
}

const PackageEntry* FindPackageEntry(const std::string& name) {
  auto found = PackageIndex.find(name);
  return found == PackageIndex.end() ? nullptr : &found->second;
}

bool ReadEntry(const PackageEntry& entry, std::string& content) {
  ScopedFile file(OpenEntryData(entry));
  if (!file.IsOpen()) return false;
  try {
    // Appending the chunks then never reallocates, unless the last chunk runs past size.
    content.reserve(ReservedLength(file.Get(), entry));
    content.clear();
    return ReadOpenedEntry(file.Get(), entry, AppendToString, &content);
  } catch (...) {
    return false;
  }
}

bool StreamEntry(const PackageEntry& entry, ChunkSink sink, void* context) {
  ScopedFile file(OpenEntryData(entry));
  if (!file.IsOpen()) return false;
  try {
    return ReadOpenedEntry(file.Get(), entry, sink, context);
  } catch (...) {
    return false;
  }
}

bool ReadEntryChunks(std::vector<std::string>& chunks, const PackageEntry& entry) {
  ScopedFile file(OpenEntryData(entry));
  if (!file.IsOpen()) return false;
  chunks.clear();
  try {
    return ReadOpenedEntry(file.Get(), entry, CollectChunk, &chunks);
  } catch (...) {
    chunks.clear();
    return false;
  }
}
