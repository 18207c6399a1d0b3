#include "package/format/IntegrityBlock.h"

#include <cstring>
#include <vector>

#include "package/format/Crc32c.h"
#include "package/format/FormatConstants.h"
#include "platform/ByteOrder.h"

namespace {

constexpr uint32_t kMagicLength = 8;
constexpr uint32_t kFeaturesOffset = 8;
constexpr uint32_t kFrameChecksumOffset = 12;
constexpr uint32_t kMagicOffset = 16;
// The header, the block and the trailer, read in one go: at most this much.
constexpr uint32_t kFrameLimit = kHeaderReadLimit + kIntegrityBlockLength + kTrailerLength;
constexpr uint32_t kDirectoryReadLength = 64 * 1024;

// The checksum of the frame `bytes` (from headerOffset to the package's end), whose block
// starts at `blockStart` within them, leaving out the checksum field itself.
uint32_t ChecksumFrame(const uint8_t* bytes, size_t length, size_t blockStart) {
  const size_t field = blockStart + kFrameChecksumOffset;
  const uint32_t before = Crc32c(bytes, field);
  return ExtendCrc32c(before, bytes + field + 4, length - field - 4);
}

bool ChecksumDirectory(FileHandle file, uint32_t offset, uint32_t length, uint32_t& checksum) {
  if (!SeekFileFromStart(file, offset, nullptr)) return false;
  std::vector<uint8_t> buffer(length < kDirectoryReadLength ? length : kDirectoryReadLength);
  uint32_t crc = 0;
  for (uint32_t left = length; left > 0;) {
    const uint32_t part = left < buffer.size() ? left : static_cast<uint32_t>(buffer.size());
    if (!ReadFileExact(file, buffer.data(), part)) return false;
    crc = ExtendCrc32c(crc, buffer.data(), part);
    left -= part;
  }
  checksum = crc;
  return true;
}

}  // namespace

PackageIntegrity CheckPackageIntegrity(FileHandle file, uint32_t packageEnd) {
  PackageIntegrity integrity;
  const uint32_t tailLength = kIntegrityBlockLength + kTrailerLength;
  if (packageEnd < tailLength + kHeaderFixedLength) return integrity;
  const uint32_t blockStart = packageEnd - tailLength;

  uint8_t tail[kIntegrityBlockLength + kTrailerLength];
  if (!SeekFileFromStart(file, blockStart, nullptr) || !ReadFileExact(file, tail, tailLength) ||
      std::memcmp(tail + kMagicOffset, kIntegrityMagic, kMagicLength) != 0) {
    return integrity;
  }
  integrity.present = true;

  // The header lies right before the block; a trailer that says otherwise is damaged.
  const uint32_t headerOffset =
      LoadLittleEndian32(tail + kIntegrityBlockLength) ^ kTrailerMask;
  if (headerOffset > blockStart || blockStart - headerOffset < kHeaderFixedLength ||
      blockStart - headerOffset > kHeaderReadLimit) {
    return integrity;
  }
  const uint32_t frameLength = packageEnd - headerOffset;
  uint8_t frame[kFrameLimit];
  if (!SeekFileFromStart(file, headerOffset, nullptr) ||
      !ReadFileExact(file, frame, frameLength)) {
    return integrity;
  }
  const uint32_t blockInFrame = blockStart - headerOffset;
  const uint8_t* block = frame + blockInFrame;
  if (ChecksumFrame(frame, frameLength, blockInFrame) !=
      LoadLittleEndian32(block + kFrameChecksumOffset)) {
    return integrity;
  }
  integrity.frameIntact = true;
  integrity.features = LoadLittleEndian32(block + kFeaturesOffset);

  ByteCursor header(frame, blockInFrame);
  const uint16_t keyLength = header.TakeU16();
  header.TakeBytes(keyLength);
  const uint32_t directoryOffset = header.TakeU32();
  const uint32_t directoryLength = LoadLittleEndian32(block);
  uint32_t checksum = 0;
  integrity.directoryIntact =
      !header.Failed() && directoryOffset <= packageEnd &&
      directoryLength <= packageEnd - directoryOffset &&
      ChecksumDirectory(file, directoryOffset, directoryLength, checksum) &&
      checksum == LoadLittleEndian32(block + 4);
  return integrity;
}

std::string EncodeIntegrityBlock(const std::string& header, const std::string& directory,
                                 const std::string& trailer, uint32_t features) {
  std::string block;
  AppendLittleEndian32(block, static_cast<uint32_t>(directory.size()));
  AppendLittleEndian32(block, Crc32c(directory.data(), directory.size()));
  AppendLittleEndian32(block, features);
  AppendLittleEndian32(block, 0);  // the frame checksum, filled in below
  block.append(kIntegrityMagic, kMagicLength);

  const std::string frame = header + block + trailer;
  const uint32_t checksum = ChecksumFrame(reinterpret_cast<const uint8_t*>(frame.data()),
                                          frame.size(), header.size());
  std::string field;
  AppendLittleEndian32(field, checksum);
  block.replace(kFrameChecksumOffset, 4, field);
  return block;
}
