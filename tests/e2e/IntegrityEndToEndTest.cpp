// The integrity data vantis-pack puts in every package, met by the real installer under
// Wine. One installer is built by vantis-pack's build and then damaged where the format
// alone cannot notice it: a byte of an entry's ciphertext, a byte of a name in the directory
// that still reads as a safe name, a byte of the integrity block. Each must change nothing
// in the game folder. The same installer with its integrity marker zeroed is what a packer
// without integrity data makes, and must install as before.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "EndToEndBatch.h"
#include "InstallerExpectations.h"
#include "package/PackageIndex.h"
#include "package/format/EntryName.h"
#include "package/format/FormatConstants.h"

namespace {

// Old and new contents. The directory lists entries in name order, so the long name comes
// first in it, and its second 8-byte block lies wholly inside that name. Data/z.dat, the
// damaged entry, is walked after the other two files.
const FileTree kOldFiles = {{"Bin/Renderer/shaders.pak", "old shaders"},
                            {"Data/a.dat", "old a"},
                            {"Data/z.dat", "old z"}};
const FileTree kNewFiles = {{"Bin/Renderer/shaders.pak", Noise(30000, 21)},
                            {"Data/a.dat", "new a"},
                            {"Data/z.dat", Noise(40000, 22)}};

// The 24-byte integrity block ends where the 4-byte trailer begins; its last 8 bytes are
// the marker, its first 4 the directory's length.
constexpr size_t kMarkerFromEnd = 4 + 8;
constexpr size_t kBlockFromEnd = 4 + 24;

struct IntegrityBatch {
  ScenarioBatch batch;
  std::string built;  // as vantis-pack built it
};

IntegrityBatch* Integrity = nullptr;

uint32_t LittleEndian(const std::string& bytes, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t i = width; i-- > 0;) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

std::string Flipped(std::string bytes, size_t position, uint8_t pattern) {
  bytes[position] = static_cast<char>(bytes[position] ^ pattern);
  return bytes;
}

std::string Unmarked(std::string bytes) {
  bytes.replace(bytes.size() - kMarkerFromEnd, 8, 8, '\0');
  return bytes;
}

bool Build() {
  FileTree files = kNewFiles;
  files["config.txt"] = "1.0.5 = 1.0.4\r\n本补丁修复了存档读取问题。\r\n更新后请重新启动游戏。";
  return BuildWithPacker(Integrity->batch, Integrity->batch.root + "/publisher", files,
                         Integrity->built);
}

// Where Data/z.dat's ciphertext lies, past its first chunk header, as the reader finds it.
bool FindEntryCiphertext(size_t& position) {
  const std::string path = Integrity->batch.root + "/publisher/built.exe";
  const PackageEntry* entry = OpenPackage(path) ? FindPackageEntry("Data/z.dat") : nullptr;
  if (!entry) {
    Integrity->batch.setupError = "the built installer does not read back";
    return false;
  }
  position = entry->offset + 8 + 1000;
  return true;
}

// A flip in the first directory record's name (its second cipher block) that, with the
// marker zeroed, still opens as four safe names, one of them other than packed: only the
// integrity data can tell this package from one its publisher built.
bool FindNameFlip(std::string& damaged) {
  const std::string& built = Integrity->built;
  const size_t header = LittleEndian(built, built.size() - 4, 4) ^ kTrailerMask;
  const size_t keyLength = LittleEndian(built, header, 2);
  const size_t directory = LittleEndian(built, header + 2 + keyLength, 4);
  const size_t position = directory + 4 + 8 + 3;  // past the chunk header and block 0
  const std::string path = Integrity->batch.root + "/candidate.exe";
  for (unsigned pattern = 1; pattern < 256; ++pattern) {
    const std::string candidate = Flipped(built, position, static_cast<uint8_t>(pattern));
    WriteBinaryFile(path, Unmarked(candidate));
    if (!OpenPackage(path) || PackageIndex.size() != 4 || !FindPackageEntry("config.txt") ||
        FindPackageEntry("Bin/Renderer/shaders.pak")) {
      continue;
    }
    bool safe = true;
    for (const auto& item : PackageIndex) safe = safe && IsSafeEntryName(item.first);
    if (!safe) continue;
    damaged = candidate;
    // What the flip makes of the name, for whoever reads the run.
    std::string shown;
    for (const auto& item : PackageIndex) {
      if (kNewFiles.count(item.first) != 0 || item.first == "config.txt") continue;
      for (const char c : item.first) {
        const auto byte = static_cast<uint8_t>(c);
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(byte));
        shown += byte >= 0x20 && byte < 0x7F ? std::string(1, c) : std::string(escaped);
      }
    }
    std::printf("[ e2e      ] directory byte %zu flipped by %02X reads as \"%s\"\n", position,
                pattern, shown.c_str());
    return true;
  }
  Integrity->batch.setupError = "no flip of the directory's name block reads as a safe name";
  return false;
}

Scenario& NewScenario(const std::string& name, const std::string& installer) {
  Scenario& s = Integrity->batch.Add(name);
  s.PutGame(VersionFile(1, 0, 4));
  for (const auto& [file, content] : kOldFiles) s.Put(file, content);
  s.PutInstaller(installer);
  return s;
}

bool DefineScenarios() {
  size_t ciphertext = 0;
  std::string nameFlipped;
  if (!FindEntryCiphertext(ciphertext) || !FindNameFlip(nameFlipped)) return false;
  const std::string& built = Integrity->built;

  // The check before the first write finds it: the bar never moves (range twice the four
  // entries, the manifest included), and Close stays the way out.
  NewScenario("entry_data_flipped", Flipped(built, ciphertext, 0x01))
      .Launch()
      .Dialog({kNotesShown})
      .Click(kInstallButton)
      .Box(kEntryDamaged, "1", "error")
      .Dialog({kNotesShown, 0, 8, 0, false, true})
      .Press(kOk)
      .Exit(0);
  NewScenario("directory_name_flipped", nameFlipped)
      .Launch().Box(kPackageDamaged, "1", "error").Press(kOk).Exit(1);
  // The directory's length: the frame checksum covers it, and nothing else reads it.
  NewScenario("integrity_block_flipped", Flipped(built, built.size() - kBlockFromEnd, 0x01))
      .Launch().Box(kPackageDamaged, "1", "error").Press(kOk).Exit(1);
  NewScenario("unmarked_package", Unmarked(built)).LaunchAndInstall();
  return true;
}

}  // namespace

class IntegrityEndToEnd : public testing::Test {
 public:
  static void SetUpTestSuite() {
    Integrity = new IntegrityBatch;
    if (!Integrity->batch.Prepare() || !Build() || !DefineScenarios()) return;
    Integrity->batch.Play("integrity");
  }
  static void TearDownTestSuite() {
    Integrity->batch.Finish(CurrentSuiteFailed());
    delete Integrity;
    Integrity = nullptr;
  }

 protected:
  void SetUp() override { RequireBatch(Integrity->batch); }

  // The transcript as scripted, and every game file as before the run: no file written,
  // no version file, no temporary file left beside a target.
  static void ExpectRefusedUntouched(const std::string& name) {
    SCOPED_TRACE(name);
    const Scenario& s = Integrity->batch.scenarios.at(name);
    ExpectTranscript(Integrity->batch, s);
    ExpectFiles(s.GameFiles(), s.gameBefore);
  }
};

TEST_F(IntegrityEndToEnd, DamagedEntryDataStopsTheInstallBeforeTheFirstWrite) {
  ExpectRefusedUntouched("entry_data_flipped");
}

TEST_F(IntegrityEndToEnd, DamagedDirectoryOrIntegrityBlockIsRefusedAtStartUp) {
  ExpectRefusedUntouched("directory_name_flipped");
  ExpectRefusedUntouched("integrity_block_flipped");
}

TEST_F(IntegrityEndToEnd, PackageWithoutTheMarkerInstallsAsBefore) {
  const Scenario& s = Integrity->batch.scenarios.at("unmarked_package");
  ExpectTranscript(Integrity->batch, s);
  FileTree expected = s.GameBeforeWith(kNewFiles);
  expected["Bin/version.xml"] = kVersionFile105;
  ExpectFiles(s.GameFiles(), expected);
}
