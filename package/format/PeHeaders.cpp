#include "package/format/PeHeaders.h"

#include "platform/ByteOrder.h"

namespace {

constexpr uint32_t kDosHeaderLength = 64;
constexpr uint32_t kPeOffsetField = 0x3C;
constexpr uint32_t kSignatureAndCoffLength = 24;
constexpr uint32_t kSectionHeaderLength = 40;
constexpr uint32_t kDirectoryEntryLength = 8;

}  // namespace

uint16_t PeHeaders::Magic() const {
  return optionalHeader.size() < 2 ? 0 : LoadLittleEndian16(optionalHeader.data());
}

bool ReadPeHeaders(PeByteReader read, void* context, PeHeaders& headers, PeProblem& problem) {
  uint8_t dos[kDosHeaderLength];
  if (!read(context, 0, dos, kDosHeaderLength) || dos[0] != 'M' || dos[1] != 'Z') {
    problem = PeProblem::kNoMzHeader;
    return false;
  }
  PeHeaders result;
  result.peOffset = LoadLittleEndian32(dos + kPeOffsetField);
  uint8_t pe[kSignatureAndCoffLength];
  if (!read(context, result.peOffset, pe, kSignatureAndCoffLength) || pe[0] != 'P' ||
      pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) {
    problem = PeProblem::kNoPeHeader;
    return false;
  }
  result.machine = LoadLittleEndian16(pe + 4);
  result.sectionCount = LoadLittleEndian16(pe + 6);
  result.optionalHeaderLength = LoadLittleEndian16(pe + 20);
  result.characteristics = LoadLittleEndian16(pe + 22);
  result.optionalHeader.resize(result.optionalHeaderLength);
  if (!read(context, uint64_t{result.peOffset} + kSignatureAndCoffLength,
            result.optionalHeader.data(), result.optionalHeaderLength)) {
    result.optionalHeader.clear();
  }
  headers = std::move(result);
  problem = PeProblem::kNone;
  return true;
}

bool FindPeDataDirectory(const PeHeaders& headers, uint32_t index, uint32_t& address,
                         uint32_t& size) {
  const uint16_t magic = headers.Magic();
  if (magic != kPeMagic32 && magic != kPeMagic32Plus) return false;
  const size_t directories = magic == kPeMagic32 ? 96 : 112;
  const size_t entry = directories + size_t{index} * kDirectoryEntryLength;
  const std::vector<uint8_t>& optional = headers.optionalHeader;
  if (optional.size() < entry + kDirectoryEntryLength) return false;
  if (LoadLittleEndian32(optional.data() + directories - 4) <= index) return false;
  address = LoadLittleEndian32(optional.data() + entry);
  size = LoadLittleEndian32(optional.data() + entry + 4);
  return true;
}

bool ReadPeSections(PeByteReader read, void* context, const PeHeaders& headers,
                    std::vector<PeSection>& sections) {
  std::vector<uint8_t> table(size_t{headers.sectionCount} * kSectionHeaderLength);
  if (!read(context, headers.HeadersEnd(), table.data(), static_cast<uint32_t>(table.size()))) {
    return false;
  }
  sections.clear();
  for (size_t at = 0; at < table.size(); at += kSectionHeaderLength) {
    const uint8_t* header = table.data() + at;
    sections.push_back({LoadLittleEndian32(header + 12), LoadLittleEndian32(header + 8),
                        LoadLittleEndian32(header + 20), LoadLittleEndian32(header + 16)});
  }
  return true;
}

bool MapPeAddress(const std::vector<PeSection>& sections, uint32_t rva, uint64_t& offset,
                  uint64_t& available) {
  for (const PeSection& section : sections) {
    const uint32_t length = section.rawSize < section.virtualSize || section.virtualSize == 0
                                ? section.rawSize
                                : section.virtualSize;
    if (rva >= section.virtualAddress && rva - section.virtualAddress < length) {
      offset = uint64_t{section.rawOffset} + (rva - section.virtualAddress);
      available = length - (rva - section.virtualAddress);
      return true;
    }
  }
  return false;
}
