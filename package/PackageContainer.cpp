#include "package/PackageContainer.h"

#include <utility>

#include "package/format/DirectoryStream.h"
#include "package/format/PackageEnd.h"
#include "package/format/PackageFrame.h"

// There is no magic number, count or checksum: a file is a package when its frame and
// directory parse. Header, directory and entry data may lie in any order; only the trailer
// has a place.

namespace {

// The consumer of the directory stream: all records of one chunk's plaintext.
bool ParseRecordsInto(const uint8_t* data, uint32_t length, void* context) {
  return ParseDirectoryRecords(data, length, *static_cast<DirectoryMap*>(context));
}

}  // namespace

bool ReadPackageHeader(PackageVolume& volume, FileHandle file, DirectoryMap& directory) {
  uint32_t fileSize = 0;
  if (!GetFileSize32(file, &fileSize) || fileSize == 0) return false;
  // In a signed installer the package ends before the certificate table; in any other
  // file this is the file's end.
  const uint32_t packageEnd = FindPackageEnd(file, fileSize).endOffset;

  PackageFrame frame;
  if (!ReadPackageFrame(file, packageEnd, frame)) return false;
  volume.key = std::move(frame.key);

  uint32_t position = 0;
  if (!SeekFileFromStart(file, frame.directoryOffset, &position) ||
      position != frame.directoryOffset) {
    return false;
  }
  return ReadPackageDirectory(file, volume, directory);
}

bool ReadPackageDirectory(FileHandle file, PackageVolume& volume, DirectoryMap& directory) {
  return ReadDirectoryStream(file, volume.key, ParseRecordsInto, &directory);
}
