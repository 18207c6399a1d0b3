#pragma once
// Reading one package file: its end, trailer and header, then the whole directory into a
// directory map (the layers are in package/format/, the layout in docs/package-format.md).

#include <string>

#include "package/format/DirectoryRecord.h"
#include "package/format/IntegrityBlock.h"
#include "platform/File.h"

struct PackageVolume {
  std::string key;   // written by ReadPackageHeader
  NativePath path;   // every open of the volume uses it
  // Whether the volume carries integrity data and whether its frame and directory check
  // out; written when the volume is opened (package/Package.h). Entry reads check each
  // entry's data against its record when the data is present.
  PackageIntegrity integrity;
};

// Opens one volume whole, though named after its first step: finds the package's end
// (before a signature's certificate table) and the header through the trailer, stores the
// key in `volume.key`, then reads the directory into `directory` (empty on entry) with
// ReadPackageDirectory. False on any format or I/O problem; the map then holds what was
// parsed so far. Throws std::bad_alloc when memory runs out.
bool ReadPackageHeader(PackageVolume& volume, FileHandle file, DirectoryMap& directory);

// Reads the directory chunk stream at the file's current position into `directory`.
bool ReadPackageDirectory(FileHandle file, PackageVolume& volume, DirectoryMap& directory);
