#pragma once
// The headers of a Windows program that the package's readers and the tool look at: the
// installer's end of a signed file, and the tool's checks of the installer program. All
// little-endian, the PE/COFF layout as Microsoft documents it:
//
// DOS header, at 0:             u8 "MZ", ..., u32 e_lfanew at 0x3C (the PE header)
// PE header, at e_lfanew:       u8 "PE\0\0", then the COFF file header (20 bytes):
//   u16 machine                 0x014C: 32-bit x86, 0x8664: x86-64
//   u16 sectionCount
//   u32 timeDateStamp, u32 symbolTable, u32 symbolCount
//   u16 optionalHeaderLength
//   u16 characteristics         0x0002 executable image, 0x2000 DLL
// Optional header, next:        u16 magic (0x010B: PE32, 0x020B: PE32+), ..., u16
//                               subsystem at 68 (2: Windows GUI, 3: console), u32
//                               rvaAndSizeCount at 92 (PE32+: 108), then 8-byte data
//                               directories (u32 rva, u32 size) from 96 (PE32+: 112);
//                               entry 4, the security table, holds a file position
// Section headers, after the optional header, 40 bytes each: u8 name[8],
//   u32 virtualSize, u32 virtualAddress, u32 rawSize, u32 rawOffset, ...

#include <cstdint>
#include <vector>

constexpr uint16_t kPeMagic32 = 0x010B;
constexpr uint16_t kPeMagic32Plus = 0x020B;
constexpr uint32_t kPeImportDirectory = 1;
constexpr uint32_t kPeResourceDirectory = 2;
constexpr uint32_t kPeSecurityDirectory = 4;
constexpr uint32_t kPeLoadConfigDirectory = 10;

// Reads `count` bytes at `offset` into `out`; false when they are not all in the file.
using PeByteReader = bool (*)(void* context, uint64_t offset, uint8_t* out, uint32_t count);

struct PeSection {
  uint32_t virtualAddress = 0;
  uint32_t virtualSize = 0;
  uint32_t rawOffset = 0;
  uint32_t rawSize = 0;
};

struct PeHeaders {
  uint32_t peOffset = 0;
  uint16_t machine = 0;
  uint16_t sectionCount = 0;
  uint16_t characteristics = 0;
  // Empty when the file ends before the optional header does.
  std::vector<uint8_t> optionalHeader;
  uint16_t optionalHeaderLength = 0;  // as the COFF header gives it

  // 0 without a readable optional header.
  uint16_t Magic() const;
  // The file position right after the optional header.
  uint64_t HeadersEnd() const { return uint64_t{peOffset} + 24 + optionalHeaderLength; }
};

enum class PeProblem { kNone, kNoMzHeader, kNoPeHeader };

// The DOS header, the PE signature, the COFF header and the optional header. False, with
// `problem`, without "MZ" or "PE\0\0" where they belong.
bool ReadPeHeaders(PeByteReader read, void* context, PeHeaders& headers, PeProblem& problem);

// Data directory `index` of a PE32 or PE32+ optional header: false where the header is
// neither, or holds no such entry (by its count field and by its length).
bool FindPeDataDirectory(const PeHeaders& headers, uint32_t index, uint32_t& address,
                         uint32_t& size);

// The section headers, or false when the file ends before they do.
bool ReadPeSections(PeByteReader read, void* context, const PeHeaders& headers,
                    std::vector<PeSection>& sections);

// The file position that holds `rva`, with `available` bytes of its section from there.
bool MapPeAddress(const std::vector<PeSection>& sections, uint32_t rva, uint64_t& offset,
                  uint64_t& available);
