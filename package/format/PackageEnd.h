#pragma once
// Where the package ends in its file. A signed installer carries its Authenticode
// certificate table after the package, so its trailer is not in the file's last bytes.

#include <cstdint>

#include "platform/File.h"

struct PackageEnd {
  uint32_t endOffset = 0;  // the trailer's last byte is the one before it
  // The certificate table that follows the package; length 0 when the file is not signed.
  uint32_t certificateTableOffset = 0;
  uint32_t certificateTableLength = 0;
};

// The file's end, unless the file is a PE whose security data directory names a
// certificate table that ends exactly at the end of the file: then the start of that
// table, less the zero bytes (at most 7) that signing put before it for alignment. An
// entry that is malformed or hostile in any way counts as no table. Reads only inside the
// file's `fileSize` bytes and leaves the file position anywhere; never fails.
PackageEnd FindPackageEnd(FileHandle file, uint32_t fileSize);
