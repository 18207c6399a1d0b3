#include "package/PackageContainer.h"

#include "crypto/DirectoryStream.h"
#include "package/PackageEnd.h"

// A package file. Integers are little-endian; every position is absolute in the file.
// There is no magic number, count or checksum: a file is a package when these parse.
//
// Trailer, the last 4 bytes of the package: of the file, or of what comes before the
// certificate table of a signed installer (package/PackageEnd.cpp):
//   u32  headerOffset XOR 0x5C3B        (only the low 16 bits are masked)
//
// Header, at headerOffset, within the first 80 bytes read from there:
//   u16  keyLength                      (at most 74 so that the header fits in 80 bytes)
//   u8   key[keyLength]                 the package key, plain; keys RC2 and IDEA alike
//   u32  directoryOffset
//
// Directory, at directoryOffset: a directory chunk stream (crypto/DirectoryStream.cpp).
// Each chunk's plaintext is a whole number of records; none continues into the next chunk:
//   u16  nameLength
//   u8   name[nameLength]               no terminator, compared byte-wise
//   u8   aux1
//   u8   aux2
//   u32  offset                         entry chunk stream; bit 31 set marks a removal
//   u32  size                           content length in bytes
//   u32  aux3
//
// Entry data, at each offset: an entry chunk stream (crypto/EntryStream.cpp).
// Header, directory and entry data may lie in any order; only the trailer has a place.

namespace {

constexpr uint32_t kTrailerLength = 4;

// Reads fields from a byte range. The first field that would run past the end fails the
// cursor, and every later field then fails too, so a parser checks once at the end.
class ByteCursor {
 public:
  ByteCursor(const uint8_t* data, uint32_t length) : data_(data), length_(length) {}

  bool Failed() const { return failed_; }
  bool AtEnd() const { return position_ == length_; }

  uint8_t TakeU8() {
    const uint8_t* p = Take(1);
    return p ? p[0] : 0;
  }

  uint16_t TakeU16() {
    const uint8_t* p = Take(2);
    if (!p) return 0;
    return static_cast<uint16_t>(p[1] << 8 | p[0]);
  }

  uint32_t TakeU32() {
    const uint8_t* p = Take(4);
    if (!p) return 0;
    return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[1]) << 8 | p[0];
  }

  std::string TakeBytes(uint32_t count) {
    const uint8_t* p = Take(count);
    return p ? std::string(reinterpret_cast<const char*>(p), count) : std::string();
  }

 private:
  const uint8_t* Take(uint32_t count) {
    if (failed_ || count > length_ - position_) {
      failed_ = true;
      return nullptr;
    }
    const uint8_t* p = data_ + position_;
    position_ += count;
    return p;
  }

  const uint8_t* data_;
  uint32_t length_;
  uint32_t position_ = 0;
  bool failed_ = false;
};

// The consumer of the directory stream: all records of one chunk's plaintext.
bool ParseDirectoryRecords(const uint8_t* data, uint32_t length, void* context) {
  auto& directory = *static_cast<DirectoryMap*>(context);
  ByteCursor cursor(data, length);
  while (!cursor.AtEnd()) {
    const uint16_t nameLength = cursor.TakeU16();
    std::string name = cursor.TakeBytes(nameLength);
    PackageEntry entry;
    entry.aux1 = cursor.TakeU8();
    entry.aux2 = cursor.TakeU8();
    entry.offset = cursor.TakeU32();
    entry.size = cursor.TakeU32();
    entry.aux3 = cursor.TakeU32();
    if (cursor.Failed()) return false;
    directory.insert_or_assign(std::move(name), entry);  // the last record of a name wins
  }
  return true;
}

}  // namespace

bool ReadPackageHeader(PackageVolume& volume, FileHandle file, DirectoryMap& directory) {
  uint32_t fileSize = 0;
  if (!GetFileSize32(file, &fileSize) || fileSize == 0) return false;
  // In a signed installer the package ends before the certificate table; in any other
  // file this is the file's end.
  const uint32_t packageEnd = FindPackageEnd(file, fileSize).endOffset;

  // Files of 1 to 3 bytes fail here.
  uint8_t trailer[kTrailerLength];
  if (packageEnd < kTrailerLength) return false;
  if (!SeekFileFromStart(file, packageEnd - kTrailerLength, nullptr)) return false;
  if (!ReadFileExact(file, trailer, kTrailerLength)) return false;
  ByteCursor trailerCursor(trailer, kTrailerLength);
  const uint32_t headerOffset = trailerCursor.TakeU32() ^ kTrailerMask;

  // A header at or past the package's end, or at a position the seek cannot reach, gives
  // no bytes and fails the parse below. Without a certificate table that is what reading
  // at the end of the file gave; with one, it keeps the table's bytes out of the header.
  uint8_t header[kHeaderReadLimit];
  uint32_t headerLength = 0;
  if (headerOffset < packageEnd && SeekFileFromStart(file, headerOffset, nullptr)) {
    const uint32_t left = packageEnd - headerOffset;
    const uint32_t limit = left < kHeaderReadLimit ? left : kHeaderReadLimit;
    if (!ReadFileBytes(file, header, limit, &headerLength)) return false;
  }

  ByteCursor cursor(header, headerLength);
  const uint16_t keyLength = cursor.TakeU16();
  std::string key = cursor.TakeBytes(keyLength);
  const uint32_t directoryOffset = cursor.TakeU32();
  if (cursor.Failed()) return false;
  volume.key = std::move(key);

  uint32_t position = 0;
  if (!SeekFileFromStart(file, directoryOffset, &position) || position != directoryOffset) {
    return false;
  }
  return ReadPackageDirectory(file, volume, directory);
}

bool ReadPackageDirectory(FileHandle file, PackageVolume& volume, DirectoryMap& directory) {
  return ReadDirectoryStream(file, volume.key, ParseDirectoryRecords, &directory);
}
