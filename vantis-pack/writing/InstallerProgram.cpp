#include "vantis-pack/writing/InstallerProgram.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "package/format/PeHeaders.h"
#include "resources/ResourceIds.h"
#include "platform/ByteOrder.h"

// Beyond the headers (package/format/PeHeaders.h), all little-endian, as Microsoft
// documents the PE/COFF format:
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
constexpr uint16_t kSubsystemWindowsGui = 2;
constexpr uint16_t kSubsystemWindowsConsole = 3;
constexpr size_t kImportDescriptorLength = 20;
// Longer than any DLL's name; a name with no zero byte within it is taken as damage.
constexpr size_t kMaxDllNameLength = 260;
constexpr uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr uint32_t kResourceTypeDialog = 5;
constexpr uint32_t kResourceTypeIconGroup = 14;
constexpr uint32_t kResourceTypeRcData = 10;
// Far more than a list of kind names needs.
constexpr uint32_t kMaxKindsResourceLength = 4096;
// More entries than any real program's resource directory holds; a damaged count
// cannot make the walk long.
constexpr uint32_t kMaxDirectoryEntries = 4096;

class FileBytes {
 public:
  explicit FileBytes(const std::filesystem::path& path) : in_(path, std::ios::binary) {}
  bool IsOpen() const { return static_cast<bool>(in_); }

  // As a PeByteReader, with the FileBytes as its context.
  static bool ReadInto(void* context, uint64_t offset, uint8_t* out, uint32_t count) {
    auto& file = *static_cast<FileBytes*>(context);
    file.in_.clear();
    file.in_.seekg(static_cast<std::streamoff>(offset));
    return static_cast<bool>(
        file.in_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(count)));
  }

  // False when the file ends before `length` bytes at `offset`.
  bool Read(uint64_t offset, size_t length, std::vector<uint8_t>& bytes) {
    bytes.assign(length, 0);
    return ReadInto(this, offset, bytes.data(), static_cast<uint32_t>(length));
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

// The data of the first language of resource `type`/`id`: its data entry (u32 address,
// u32 size, ...) at the offset the language entry gives.
bool ReadResourceData(FileBytes& file, const std::vector<PeSection>& sections, uint64_t table,
                      uint64_t tableLength, uint32_t type, uint32_t id,
                      std::vector<uint8_t>& data) {
  uint32_t names = 0;
  uint32_t languages = 0;
  std::vector<uint8_t> header;
  std::vector<uint8_t> entry;
  std::vector<uint8_t> dataEntry;
  if (!FindIdSubdirectory(file, table, tableLength, 0, type, names) ||
      !FindIdSubdirectory(file, table, tableLength, names, id, languages) ||
      uint64_t{languages} + 24 > tableLength || !file.Read(table + languages, 16, header) ||
      U16(header, 12) + U16(header, 14) == 0 || !file.Read(table + languages + 16, 8, entry)) {
    return false;
  }
  const uint32_t dataOffset = U32(entry, 4);
  if ((dataOffset & kSubdirectoryFlag) != 0 || uint64_t{dataOffset} + 16 > tableLength ||
      !file.Read(table + dataOffset, 16, dataEntry)) {
    return false;
  }
  uint64_t offset = 0;
  uint64_t available = 0;
  const uint32_t size = U32(dataEntry, 4);
  return size <= kMaxKindsResourceLength &&
         MapPeAddress(sections, U32(dataEntry, 0), offset, available) && size <= available &&
         file.Read(offset, size, data);
}

}  // namespace

namespace {

// The headers, or false with `reason` when the file is no Windows program.
bool ReadProgramHeaders(FileBytes& file, PeHeaders& headers, std::string& reason) {
  PeProblem problem = PeProblem::kNone;
  if (file.IsOpen() && ReadPeHeaders(FileBytes::ReadInto, &file, headers, problem)) return true;
  reason = problem == PeProblem::kNoPeHeader ? "not a Windows program (no PE header)"
                                             : "not a Windows program (no \"MZ\" header)";
  return false;
}

}  // namespace

bool CheckInstallerProgram(const std::filesystem::path& program, std::string& reason,
                           std::string& warning) {
  FileBytes file(program);
  PeHeaders headers;
  if (!ReadProgramHeaders(file, headers, reason)) return false;
  const uint16_t machine = headers.machine;
  const uint16_t magic = headers.Magic();
  const bool is32Bit = machine == kMachineI386 && magic == kPeMagic32;
  const bool is64Bit = machine == kMachineAmd64 && magic == kPeMagic32Plus;
  if (machine != kMachineI386 && machine != kMachineAmd64) {
    reason = "not a 32-bit x86 program; the installer program is the 32-bit build";
    return false;
  }
  // Where the data directories start, by the optional header's form.
  const size_t directories = is64Bit ? 112 : 96;
  if ((headers.characteristics & kCharacteristicExecutable) == 0 ||
      (headers.characteristics & kCharacteristicDll) != 0 || !(is32Bit || is64Bit) ||
      headers.optionalHeader.size() < directories) {
    reason = "not a Windows program that can run (a library, an object or a damaged file)";
    return false;
  }
  const uint16_t subsystem = U16(headers.optionalHeader, 68);
  if (subsystem != kSubsystemWindowsGui) {
    reason = subsystem == kSubsystemWindowsConsole
                 ? "a console program, not the installer's GUI program"
                 : "not a Windows GUI program (subsystem " + std::to_string(subsystem) + ")";
    return false;
  }

  uint32_t resourceRva = 0;
  uint32_t resourceSize = 0;
  if (!FindPeDataDirectory(headers, kPeResourceDirectory, resourceRva, resourceSize)) {
    resourceRva = 0;
  }
  std::vector<PeSection> sections;
  if (!ReadPeSections(FileBytes::ReadInto, &file, headers, sections)) {
    reason = "a damaged Windows program (its section table is cut short)";
    return false;
  }
  uint64_t table = 0;
  uint64_t tableLength = 0;
  const bool hasResources =
      resourceRva != 0 && MapPeAddress(sections, resourceRva, table, tableLength);
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
  PeHeaders headers;
  if (!ReadProgramHeaders(file, headers, reason)) return false;
  if (headers.optionalHeader.empty()) {
    reason = "a Windows program without its optional header";
    return false;
  }
  const bool is64Bit = headers.Magic() == kPeMagic32Plus;
  if (!is64Bit && headers.Magic() != kPeMagic32) {
    reason = "neither a PE32 nor a PE32+ program";
    return false;
  }
  std::vector<PeSection> sections;
  if (headers.optionalHeader.size() < (is64Bit ? 112u : 96u) ||
      !ReadPeSections(FileBytes::ReadInto, &file, headers, sections)) {
    reason = "a damaged Windows program (its headers are cut short)";
    return false;
  }
  // The rva of a data directory; 0 where the program has none.
  const auto directory = [&headers](uint32_t index) {
    uint32_t address = 0;
    uint32_t size = 0;
    return FindPeDataDirectory(headers, index, address, size) ? address : 0;
  };

  ProgramLoading result;
  const uint32_t importRva = directory(kPeImportDirectory);
  uint64_t offset = 0;
  uint64_t available = 0;
  if (importRva != 0) {
    if (!MapPeAddress(sections, importRva, offset, available)) {
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
      if (!MapPeAddress(sections, U32(descriptor, 12), nameOffset, nameAvailable) ||
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

  const uint32_t loadConfigRva = directory(kPeLoadConfigDirectory);
  if (loadConfigRva != 0) {
    const size_t flagsAt = is64Bit ? 78 : 54;
    std::vector<uint8_t> config;
    if (!MapPeAddress(sections, loadConfigRva, offset, available) || available < flagsAt + 2 ||
        !file.Read(offset, flagsAt + 2, config)) {
      reason = "its load configuration lies outside its sections";
      return false;
    }
    if (U32(config, 0) >= flagsAt + 2) result.dependentLoadFlags = U16(config, flagsAt);
  }
  loading = std::move(result);
  return true;
}

InstallerEntryKinds ReadInstallerEntryKinds(const std::filesystem::path& program) {
  InstallerEntryKinds kinds;
  FileBytes file(program);
  PeHeaders headers;
  PeProblem problem = PeProblem::kNone;
  std::vector<PeSection> sections;
  uint32_t resourceRva = 0;
  uint32_t resourceSize = 0;
  uint64_t table = 0;
  uint64_t tableLength = 0;
  std::vector<uint8_t> data;
  if (!file.IsOpen() || !ReadPeHeaders(FileBytes::ReadInto, &file, headers, problem) ||
      !FindPeDataDirectory(headers, kPeResourceDirectory, resourceRva, resourceSize) ||
      !ReadPeSections(FileBytes::ReadInto, &file, headers, sections) ||
      !MapPeAddress(sections, resourceRva, table, tableLength) ||
      !ReadResourceData(file, sections, table, tableLength, kResourceTypeRcData, IDR_ENTRY_KINDS,
                        data)) {
    return kinds;
  }
  std::string words(data.begin(), data.end());
  for (char& c : words) {
    if (c == '\0') c = ' ';
  }
  words = " " + words + " ";
  kinds.compressed = words.find(" compressed ") != std::string::npos;
  kinds.delta = words.find(" delta ") != std::string::npos;
  return kinds;
}
