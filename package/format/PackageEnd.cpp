#include "package/format/PackageEnd.h"

#include "package/format/FormatConstants.h"
#include "package/format/PeHeaders.h"
#include "platform/ByteOrder.h"

// Signing pads the file with zero bytes to a multiple of 8 and appends the certificate
// table there, recorded in the PE's security data directory (package/format/PeHeaders.h),
// so the table starts 8-aligned and ends at the end of the file.

namespace {

constexpr uint32_t kTableAlignment = 8;
constexpr uint32_t kMaxPaddingLength = kTableAlignment - 1;
constexpr uint32_t kWinCertificateHeaderLength = 8;  // dwLength, wRevision, wCertificateType

struct SizedFile {
  FileHandle file;
  uint32_t size;
};

// `count` bytes at `offset`, only when they lie wholly inside the file.
bool ReadAt(FileHandle file, uint32_t fileSize, uint64_t offset, uint8_t* buffer,
            uint32_t count) {
  if (offset + count > fileSize) return false;
  uint32_t position = 0;
  return SeekFileFromStart(file, static_cast<uint32_t>(offset), &position) &&
         position == offset && ReadFileExact(file, buffer, count);
}

bool ReadFromSizedFile(void* context, uint64_t offset, uint8_t* out, uint32_t count) {
  const auto& sized = *static_cast<const SizedFile*>(context);
  return ReadAt(sized.file, sized.size, offset, out, count);
}

// The security entry of a well-formed PE header whose table lies after the headers,
// starts 8-aligned, holds at least one certificate header and ends at the end of the file.
bool FindCertificateTable(FileHandle file, uint32_t fileSize, uint32_t& tableOffset,
                          uint32_t& tableLength) {
  SizedFile sized{file, fileSize};
  PeHeaders headers;
  PeProblem problem = PeProblem::kNone;
  uint32_t address = 0;
  uint32_t size = 0;
  if (!ReadPeHeaders(ReadFromSizedFile, &sized, headers, problem) ||
      !FindPeDataDirectory(headers, kPeSecurityDirectory, address, size)) {
    return false;
  }
  const uint64_t offset = address;
  const uint64_t length = size;
  if (offset < headers.HeadersEnd() || offset % kTableAlignment != 0 ||
      length < kWinCertificateHeaderLength || offset + length != fileSize) {
    return false;
  }
  tableOffset = address;
  tableLength = size;
  return true;
}

// How many of the zero bytes before the table are padding. They need not all be: the
// trailer's top bytes are the header offset's, zero in any installer under 16 MiB. Each
// count from the most zeros down is tried, and the first whose trailer names a header
// that fits before that trailer wins; a trailer shifted past the real one takes its low
// bytes as the top ones and points far beyond the file. None: no padding.
uint32_t CountPadding(FileHandle file, uint32_t fileSize, uint32_t tableOffset) {
  uint8_t window[kTrailerLength + kMaxPaddingLength];
  const uint32_t windowLength =
      tableOffset < sizeof window ? tableOffset : static_cast<uint32_t>(sizeof window);
  if (!ReadAt(file, fileSize, tableOffset - windowLength, window, windowLength)) return 0;
  uint32_t zeros = 0;
  while (zeros < kMaxPaddingLength && zeros < windowLength &&
         window[windowLength - 1 - zeros] == 0) {
    ++zeros;
  }
  for (uint32_t padding = zeros; padding > 0; --padding) {
    if (windowLength < padding + kTrailerLength) continue;
    const uint64_t end = tableOffset - padding;
    const uint64_t headerOffset =
        LoadLittleEndian32(window + windowLength - padding - kTrailerLength) ^ kTrailerMask;
    if (headerOffset + kHeaderFixedLength + kTrailerLength <= end) return padding;
  }
  return 0;
}

}  // namespace

PackageEnd FindPackageEnd(FileHandle file, uint32_t fileSize) {
  PackageEnd result;
  result.endOffset = fileSize;
  uint32_t tableOffset = 0;
  uint32_t tableLength = 0;
  if (!FindCertificateTable(file, fileSize, tableOffset, tableLength)) return result;
  result.certificateTableOffset = tableOffset;
  result.certificateTableLength = tableLength;
  result.endOffset = tableOffset - CountPadding(file, fileSize, tableOffset);
  return result;
}
