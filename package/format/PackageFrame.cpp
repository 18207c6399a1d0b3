#include "package/format/PackageFrame.h"

#include <cassert>
#include <utility>

#include "package/format/FormatConstants.h"
#include "platform/ByteOrder.h"

bool ReadPackageFrame(FileHandle file, uint32_t packageEnd, PackageFrame& frame) {
  // Packages of 1 to 3 bytes fail here.
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
  frame.headerOffset = headerOffset;
  frame.key = std::move(key);
  frame.directoryOffset = directoryOffset;
  return true;
}

std::string EncodePackageTrailer(uint32_t headerOffset) {
  std::string bytes;
  AppendLittleEndian32(bytes, headerOffset ^ kTrailerMask);
  return bytes;
}

std::string EncodePackageHeader(const std::string& key, uint32_t directoryOffset) {
  assert(key.size() <= 0xFFFF && "the key length field is 16 bits");
  std::string bytes;
  AppendLittleEndian16(bytes, static_cast<uint32_t>(key.size()));
  bytes += key;
  AppendLittleEndian32(bytes, directoryOffset);
  return bytes;
}
