#pragma once
// Reading one package file: its end, trailer and header, then the whole directory into a
// directory map (the layers are in package/format/, the layout in docs/package-format.md).

#include <string>

#include "package/format/DirectoryRecord.h"
#include "platform/File.h"

struct PackageVolume {
  std::string key;   // written by ReadVolumeDirectory
  NativePath path;   // every open of the volume uses it
};

// Finds the package's end (before a signature's certificate table), the header through the
// trailer, stores the key in `volume.key` and reads the directory into `directory` (empty
// on entry). False on any format or I/O problem; the map then holds what was parsed so
// far. Throws std::bad_alloc when memory runs out.
bool ReadVolumeDirectory(PackageVolume& volume, FileHandle file, DirectoryMap& directory);
