// Property: for any bytes, the package ends at the end of the file, or the file holds a
// certificate table that starts 8-aligned inside it and ends exactly at its end, and the
// package ends at most 7 bytes before that table, all of them zero. Under the sanitizers
// no read leaves the buffers, however the PE headers lie.

#include <cstring>

#include "FuzzTarget.h"
#include "package/format/PackageEnd.h"
#include "platform/File.h"

int FuzzOne(const uint8_t* data, size_t size) {
  WriteFuzzFile(data, size);
  ScopedFile file(OpenFileForSharedRead(FuzzFilePath()));
  FUZZ_CHECK(file.IsOpen());
  const PackageEnd end = FindPackageEnd(file.Get(), static_cast<uint32_t>(size));

  if (end.certificateTableLength == 0) {
    FUZZ_CHECK(end.endOffset == size);
    FUZZ_CHECK(end.certificateTableOffset == 0);
    return 0;
  }
  const uint64_t tableOffset = end.certificateTableOffset;
  FUZZ_CHECK(tableOffset % 8 == 0);
  FUZZ_CHECK(tableOffset + end.certificateTableLength == size);
  FUZZ_CHECK(end.endOffset <= tableOffset && tableOffset - end.endOffset <= 7);
  for (uint64_t i = end.endOffset; i < tableOffset; ++i) FUZZ_CHECK(data[i] == 0);
  return 0;
}
