#include "vantis-pack/InstallerProgram.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "resources/ResourceIds.h"
#include "platform/ByteOrder.h"

// The parts of a Windows program's headers read here (all little-endian; "PE/COFF"
// layout as Microsoft documents it):
//
// DOS header, at 0:             u8 "MZ", ..., u32 e_lfanew at 0x3C (the PE header)
// PE header, at e_lfanew:       u8 "PE\0\0", then the COFF file header:
//   u16 machine                 0x014C: 32-bit x86
//   u16 sectionCount
//   u32 timeDateStamp, u32 symbolTable, u32 symbolCount
//   u16 optionalHeaderLength
//   u16 characteristics         0x0002 executable image, 0x2000 DLL
// Optional header, next:        u16 magic (0x010B: PE32, 0x020B: PE32+), ..., u16
//                               subsystem at 68 (2: Windows GUI), u32 rvaAndSizeCount at
//                               92 (PE32+: 108), then 8-byte (rva, size) data directories;
//                               the resource table is the third, at 112 (PE32+: 128)
// Section headers, after the optional header, 40 bytes each: u8 name[8],
//   u32 virtualSize, u32 virtualAddress, u32 rawSize, u32 rawOffset, ...
// Resource directory, at the resource table: u16 namedCount at 12, u16 idCount at 14,
//   then 8-byte entries (u32 name or id, u32 offset; bit 31 of the offset marks a
//   subdirectory), named entries first. Offsets count from the table's start. Three levels:
//   type, name or id, language.
// Import table, the second data directory: 20-byte descriptors (u32 importLookupTable,
//   u32 timeDateStamp, u32 forwarderChain, u32 name, u32 importAddressTable), the last one
//   all zero; `name` is the address of the DLL's name, ASCII ending in a zero byte.
// Load configuration, the eleventh data directory: u32 size, ..., u16 dependentLoadFlags
//   at 54 (PE32+: 78), read only when `size` reaches past it.

namespace {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kCharacteristicExecutable = 0x0002;
constexpr uint16_t kCharacteristicDll = 0x2000;
constexpr uint16_t kMagicPe32 = 0x010B;
constexpr uint16_t kMagicPe32Plus = 0x020B;
constexpr uint16_t kSubsystemWindowsGui = 2;
constexpr uint16_t kSubsystemWindowsConsole = 3;
constexpr uint32_t kImportDirectoryIndex = 1;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kLoadConfigDirectoryIndex = 10;
constexpr size_t kImportDescriptorLength = 20;
// Longer than any DLL's name; a name with no zero byte within it is taken as damage.
constexpr size_t kMaxDllNameLength = 260;
constexpr uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr uint32_t kResourceTypeDialog = 5;
constexpr uint32_t kResourceTypeIconGroup = 14;
// More entries than any real program's resource directory holds; a damaged count
// cannot make the walk long.
constexpr uint32_t kMaxDirectoryEntries = 4096;

class FileBytes {
 public:
  explicit FileBytes(const std::filesystem::path& path) : in_(path, std::ios::binary) {}
  bool IsOpen() const { return static_cast<bool>(in_); }

  // False when the file ends before `length` bytes at `offset`.
  bool Read(uint64_t offset, size_t length, std::vector<uint8_t>& bytes) {
    bytes.assign(length, 0);
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    return static_cast<bool>(
        in_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length)));
  }

 private:
  std::ifstream in_;
};

uint16_t U16(const std::vector<uint8_t>& bytes, size_t at) {
  return LoadLittleEndian16(&bytes[at]);
}

uint32_t U32(const std::vector<uint8_t>& bytes, size_t at) {
  return LoadLittleEndian32(&bytes[at]);
}

struct Section {
  uint32_t virtualAddress = 0;
  uint32_t virtualSize = 0;
  uint32_t rawOffset = 0;
  uint32_t rawSize = 0;
};

// The file offset that holds `rva`, with `available` bytes of the section from there.
bool MapAddress(const std::vector<Section>& sections, uint32_t rva, uint64_t& offset,
                uint64_t& available) {
  for (const Section& section : sections) {
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

bool ReadSectionTable(FileBytes& file, uint32_t peOffset, uint16_t optionalLength,
                      uint16_t sectionCount, std::vector<Section>& sections) {
  std::vector<uint8_t> headers;
  if (!file.Read(uint64_t{peOffset} + 24 + optionalLength, size_t{sectionCount} * 40, headers)) {
    return false;
  }
  sections.clear();
  for (size_t i = 0; i < sectionCount; ++i) {
    sections.push_back({U32(headers, i * 40 + 12), U32(headers, i * 40 + 8),
                        U32(headers, i * 40 + 20), U32(headers, i * 40 + 16)});
  }
  return true;
}

// The resource directory at `directory` (relative to the table) holds an id entry `id`
// that is a subdirectory; `subdirectory` is its offset.
bool FindIdSubdirectory(FileBytes& file, uint64_t table, uint64_t tableLength,
                        uint32_t directory, uint32_t id, uint32_t& subdirectory) {
  std::vector<uint8_t> header;
  if (uint64_t{directory} + 16 > tableLength || !file.Read(table + directory, 16, header)) {
    return false;
  }
  const uint32_t namedCount = U16(header, 12);
  const uint32_t idCount = U16(header, 14);
  if (namedCount + idCount > kMaxDirectoryEntries) return false;
  const uint64_t entriesStart = uint64_t{directory} + 16 + uint64_t{namedCount} * 8;
  std::vector<uint8_t> entries;
  if (entriesStart + uint64_t{idCount} * 8 > tableLength ||
      !file.Read(table + entriesStart, idCount * 8, entries)) {
    return false;
  }
  for (uint32_t i = 0; i < idCount; ++i) {
    const uint32_t offset = U32(entries, i * 8 + 4);
    if (U32(entries, i * 8) == id && (offset & kSubdirectoryFlag) != 0) {
      subdirectory = offset & ~kSubdirectoryFlag;
      return true;
    }
  }
  return false;
}

bool HasResource(FileBytes& file, uint64_t table, uint64_t tableLength, uint32_t type,
                 uint32_t id) {
  uint32_t names = 0;
  uint32_t languages = 0;
  return FindIdSubdirectory(file, table, tableLength, 0, type, names) &&
         FindIdSubdirectory(file, table, tableLength, names, id, languages);
}

}  // namespace

bool CheckInstallerProgram(const std::filesystem::path& program, std::string& reason,
                           std::string& warning) {
  FileBytes file(program);
  std::vector<uint8_t> dos;
  if (!file.IsOpen() || !file.Read(0, 64, dos) || dos[0] != 'M' || dos[1] != 'Z') {
    reason = "not a Windows program (no \"MZ\" header)";
    return false;
  }
  const uint32_t peOffset = U32(dos, 0x3C);
  std::vector<uint8_t> pe;
  if (!file.Read(peOffset, 24, pe) || pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 ||
      pe[3] != 0) {
    reason = "not a Windows program (no PE header)";
    return false;
  }
  const uint16_t machine = U16(pe, 4);
  const uint16_t sectionCount = U16(pe, 6);
  const uint16_t optionalLength = U16(pe, 20);
  const uint16_t characteristics = U16(pe, 22);
  std::vector<uint8_t> optional;
  const bool hasOptional = optionalLength >= 2 && file.Read(peOffset + 24, optionalLength, optional);
  const uint16_t magic = hasOptional ? U16(optional, 0) : 0;
  const bool is32Bit = machine == kMachineI386 && magic == kMagicPe32;
  const bool is64Bit = machine == kMachineAmd64 && magic == kMagicPe32Plus;
  if (machine != kMachineI386 && machine != kMachineAmd64) {
    reason = "not a 32-bit x86 program; the installer program is the 32-bit build";
    return false;
  }
  // Where the data directories start, by the optional header's form.
  const size_t directories = is64Bit ? 112 : 96;
  if ((characteristics & kCharacteristicExecutable) == 0 ||
      (characteristics & kCharacteristicDll) != 0 || !(is32Bit || is64Bit) ||
      optionalLength < directories) {
    reason = "not a Windows program that can run (a library, an object or a damaged file)";
    return false;
  }
  const uint16_t subsystem = U16(optional, 68);
  if (subsystem != kSubsystemWindowsGui) {
    reason = subsystem == kSubsystemWindowsConsole
                 ? "a console program, not the installer's GUI program"
                 : "not a Windows GUI program (subsystem " + std::to_string(subsystem) + ")";
    return false;
  }

  const uint32_t directoryCount = U32(optional, directories - 4);
  const size_t resourceEntry = directories + 8 * kResourceDirectoryIndex;
  const bool hasResourceEntry =
      directoryCount > kResourceDirectoryIndex && optionalLength >= resourceEntry + 8;
  const uint32_t resourceRva = hasResourceEntry ? U32(optional, resourceEntry) : 0;
  std::vector<Section> sections;
  if (!ReadSectionTable(file, peOffset, optionalLength, sectionCount, sections)) {
    reason = "a damaged Windows program (its section table is cut short)";
    return false;
  }
  uint64_t table = 0;
  uint64_t tableLength = 0;
  const bool hasResources =
      resourceRva != 0 && MapAddress(sections, resourceRva, table, tableLength);
  for (const auto& [type, id, what] :
       {std::tuple<uint32_t, uint32_t, const char*>{kResourceTypeDialog, IDD_INSTALL, "dialog"},
        {kResourceTypeIconGroup, IDI_APP, "icon group"}}) {
    if (!hasResources || !HasResource(file, table, tableLength, type, id)) {
      reason = std::string("a Windows GUI program without ") + what + " " +
               std::to_string(id) + ", so not the installer program (it shows the install "
               "dialog " + std::to_string(IDD_INSTALL) + " with icon " +
               std::to_string(IDI_APP) + ")";
      return false;
    }
  }
  if (is64Bit) {
    warning = "the 64-bit build of the installer program: it runs only on 64-bit Windows, "
              "while players get the 32-bit build";
  }
  return true;
}

bool ReadProgramLoading(const std::filesystem::path& program, ProgramLoading& loading,
                        std::string& reason) {
  FileBytes file(program);
  std::vector<uint8_t> dos;
  std::vector<uint8_t> pe;
  if (!file.IsOpen() || !file.Read(0, 64, dos) || dos[0] != 'M' || dos[1] != 'Z' ||
      !file.Read(U32(dos, 0x3C), 24, pe) || pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 ||
      pe[3] != 0) {
    reason = "not a Windows program";
    return false;
  }
  const uint32_t peOffset = U32(dos, 0x3C);
  const uint16_t sectionCount = U16(pe, 6);
  const uint16_t optionalLength = U16(pe, 20);
  std::vector<uint8_t> optional;
  if (optionalLength < 2 || !file.Read(peOffset + 24, optionalLength, optional)) {
    reason = "a Windows program without its optional header";
    return false;
  }
  const bool is64Bit = U16(optional, 0) == kMagicPe32Plus;
  if (!is64Bit && U16(optional, 0) != kMagicPe32) {
    reason = "neither a PE32 nor a PE32+ program";
    return false;
  }
  const size_t directories = is64Bit ? 112 : 96;
  std::vector<Section> sections;
  if (optionalLength < directories ||
      !ReadSectionTable(file, peOffset, optionalLength, sectionCount, sections)) {
    reason = "a damaged Windows program (its headers are cut short)";
    return false;
  }
  const uint32_t directoryCount = U32(optional, directories - 4);
  // (rva, size) of a data directory; (0, 0) where the program has none.
  const auto directory = [&](uint32_t index) {
    const size_t at = directories + 8 * size_t{index};
    return index < directoryCount && at + 8 <= optional.size()
               ? std::pair<uint32_t, uint32_t>(U32(optional, at), U32(optional, at + 4))
               : std::pair<uint32_t, uint32_t>(0, 0);
  };

  ProgramLoading result;
  const uint32_t importRva = directory(kImportDirectoryIndex).first;
  uint64_t offset = 0;
  uint64_t available = 0;
  if (importRva != 0) {
    if (!MapAddress(sections, importRva, offset, available)) {
      reason = "its import table lies outside its sections";
      return false;
    }
    for (uint64_t at = 0;; at += kImportDescriptorLength) {
      std::vector<uint8_t> descriptor;
      if (at + kImportDescriptorLength > available ||
          !file.Read(offset + at, kImportDescriptorLength, descriptor)) {
        reason = "its import table runs past its section";
        return false;
      }
      if (std::all_of(descriptor.begin(), descriptor.end(), [](uint8_t b) { return b == 0; })) {
        break;
      }
      uint64_t nameOffset = 0;
      uint64_t nameAvailable = 0;
      std::vector<uint8_t> name;
      if (!MapAddress(sections, U32(descriptor, 12), nameOffset, nameAvailable) ||
          !file.Read(nameOffset, static_cast<size_t>(std::min<uint64_t>(nameAvailable,
                                                                        kMaxDllNameLength)),
                     name) ||
          std::find(name.begin(), name.end(), 0) == name.end()) {
        reason = "an imported DLL's name lies outside its sections";
        return false;
      }
      result.importedDlls.emplace_back(name.begin(), std::find(name.begin(), name.end(), 0));
    }
  }

  const uint32_t loadConfigRva = directory(kLoadConfigDirectoryIndex).first;
  if (loadConfigRva != 0) {
    const size_t flagsAt = is64Bit ? 78 : 54;
    std::vector<uint8_t> config;
    if (!MapAddress(sections, loadConfigRva, offset, available) || available < flagsAt + 2 ||
        !file.Read(offset, flagsAt + 2, config)) {
      reason = "its load configuration lies outside its sections";
      return false;
    }
    if (U32(config, 0) >= flagsAt + 2) result.dependentLoadFlags = U16(config, flagsAt);
  }
  loading = std::move(result);
  return true;
}
