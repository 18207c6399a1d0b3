#include "package/format/PackageEnd.h"

#include "package/format/FormatConstants.h"
#include "platform/ByteOrder.h"

// The parts of a PE file read here, little-endian (as Microsoft documents the PE/COFF format):
//
// DOS header, at 0:
//   u8[2] "MZ"
//   ...
//   u32   e_lfanew, at 0x3C            position of the PE signature
//
// At e_lfanew:
//   u8[4] "PE\0\0"
//   COFF file header, 20 bytes; u16 SizeOfOptionalHeader at its byte 16
//   optional header, SizeOfOptionalHeader bytes:
//     u16   magic                      0x10B (PE32) or 0x20B (PE32+)
//     ...
//     u32   NumberOfRvaAndSizes        at 92 (PE32) or 108 (PE32+)
//     data directories, 8 bytes each, from 96 (PE32) or 112 (PE32+); entry 4 is
//     IMAGE_DIRECTORY_ENTRY_SECURITY:
//       u32 VirtualAddress             for this entry alone a file position
//       u32 Size
//
// Signing pads the file with zero bytes to a multiple of 8 and appends the certificate
// table there, so the table starts 8-aligned and ends at the end of the file.

namespace {

constexpr uint32_t kDosHeaderLength = 64;
constexpr uint32_t kPeOffsetField = 0x3C;
constexpr uint32_t kCoffHeaderLength = 20;
constexpr uint32_t kSignatureAndCoffLength = 4 + kCoffHeaderLength;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kSecurityDirectoryIndex = 4;
constexpr uint32_t kDirectoryEntryLength = 8;
// The optional header up to the security entry's end, for PE32+, the longer of the two.
constexpr uint32_t kOptionalHeaderReadLength = 112 + 5 * kDirectoryEntryLength;
constexpr uint32_t kTableAlignment = 8;
constexpr uint32_t kMaxPaddingLength = kTableAlignment - 1;
constexpr uint32_t kWinCertificateHeaderLength = 8;  // dwLength, wRevision, wCertificateType

// `count` bytes at `offset`, only when they lie wholly inside the file.
bool ReadAt(FileHandle file, uint32_t fileSize, uint64_t offset, uint8_t* buffer,
            uint32_t count) {
  if (offset + count > fileSize) return false;
  uint32_t position = 0;
  return SeekFileFromStart(file, static_cast<uint32_t>(offset), &position) &&
         position == offset && ReadFileExact(file, buffer, count);
}

// The security entry of a well-formed PE header whose table lies after the headers,
// starts 8-aligned, holds at least one certificate header and ends at the end of the file.
bool FindCertificateTable(FileHandle file, uint32_t fileSize, uint32_t& tableOffset,
                          uint32_t& tableLength) {
  uint8_t dos[kDosHeaderLength];
  if (!ReadAt(file, fileSize, 0, dos, kDosHeaderLength) || dos[0] != 'M' || dos[1] != 'Z') {
    return false;
  }
  const uint64_t peOffset = LoadLittleEndian32(dos + kPeOffsetField);
  uint8_t pe[kSignatureAndCoffLength + kOptionalHeaderReadLength] = {};
  if (!ReadAt(file, fileSize, peOffset, pe, kSignatureAndCoffLength + 2)) return false;
  if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return false;
  const uint32_t optionalLength = LoadLittleEndian16(pe + 4 + 16);
  const uint16_t magic = LoadLittleEndian16(pe + kSignatureAndCoffLength);
  if (magic != kMagicPe32 && magic != kMagicPe32Plus) return false;
  const uint32_t countField = magic == kMagicPe32 ? 92 : 108;
  const uint32_t directories = magic == kMagicPe32 ? 96 : 112;
  const uint32_t entry = directories + kSecurityDirectoryIndex * kDirectoryEntryLength;
  if (optionalLength < entry + kDirectoryEntryLength) return false;
  if (!ReadAt(file, fileSize, peOffset, pe, kSignatureAndCoffLength + entry + kDirectoryEntryLength)) {
    return false;
  }
  if (LoadLittleEndian32(pe + kSignatureAndCoffLength + countField) <= kSecurityDirectoryIndex) return false;

  const uint64_t offset = LoadLittleEndian32(pe + kSignatureAndCoffLength + entry);
  const uint64_t length = LoadLittleEndian32(pe + kSignatureAndCoffLength + entry + 4);
  const uint64_t headersEnd = peOffset + kSignatureAndCoffLength + optionalLength;
  if (offset < headersEnd || offset % kTableAlignment != 0 ||
      length < kWinCertificateHeaderLength || offset + length != fileSize) {
    return false;
  }
  tableOffset = static_cast<uint32_t>(offset);
  tableLength = static_cast<uint32_t>(length);
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
