// Damaged installers played end to end under Wine: the download that stopped early and the
// flipped bits of the damage sweeps, now met by the real installer in a real game folder.
//
// Every cut of the package and every byte of it flipped three ways is first read here the
// way the installer reads (open, the manifest whole, then each entry in the order of the
// walk), which says what the installer must do with it:
//   - the open fails: the damaged-package box at start-up, and nothing is touched;
//   - the manifest cannot be read: its box at start-up, and nothing is touched;
//   - an entry cannot be read: the install stops there with the damaged-entry box; the
//     entries before it are written, that entry's file and everything after it, the
//     version file included, are as they were;
//   - everything reads back as packed: the install completes;
//   - every entry reads, but some read other bytes than were packed (the format has no
//     checksum, so a flipped ciphertext byte garbles its block unnoticed): the install
//     completes and writes each file whole, exactly as read.
// Damage that changes the manifest or the entry names is counted but not played: it makes
// another patch, and the sweeps bound where it can reach. A spread of each kind of case is
// played; every game file must end byte for byte as stated above, with no temporary file
// left behind.
//
// The reading above is the installer's own code, so a reader that wrongly accepts damage
// would predict its own fault. Every entry read must therefore also lie within what the
// damage can reach, found from where the packer put each part, as the damage sweeps do:
// after a cut or damage outside the encrypted parts every entry is as packed, a flipped
// entry ciphertext byte changes one 8-byte block of its entry, a flipped chunk header only
// its entry, a flipped directory byte only the records of its chunk from its block on.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "EndToEndBatch.h"
#include "InstallerExpectations.h"
#include "package/PackageContainer.h"
#include "package/PackageIndex.h"
#include "support/PackageFixture.h"

namespace {

namespace fs = std::filesystem;

enum class Outcome {
  kDamagedAtStart, kManifestUnreadable, kDamagedEntry, kInstalled, kInstalledChanged, kOtherPatch
};
constexpr size_t kOutcomeCount = 6;
const char* const kOutcomeNames[kOutcomeCount] = {
    "damaged at start-up", "manifest unreadable", "damaged entry",
    "installed",           "installed, changed",  "another patch"};
// How many cases of each outcome are played under Wine.
constexpr size_t kPlayed[kOutcomeCount] = {14, 3, 10, 5, 4, 0};

const std::string kManifestText = "1.0.5 = 1.0.4\r\n" + kNotes936;

std::string Tiles() {
  std::string tiles;
  for (int i = 0; i < 300; ++i) tiles.push_back(static_cast<char>('a' + i % 26));
  return tiles;
}

// Old and new contents of every file the patch brings; an empty old content means the file
// is new to the game.
struct PatchedFile {
  std::string name;
  std::string oldContent;
  std::string newContent;
};

const std::vector<PatchedFile>& PatchedFiles() {
  static const std::vector<PatchedFile> files = {
      {"Bin/renderer.cfg", "[Renderer]\nAAQuality=1\n", "[Renderer]\nAAQuality=2\n"},
      {"Data/a.dat", "old a", "new a, a little longer than the old"},
      {"Data/maps/desert/tiles.txt", "old tiles", Tiles()},
      {"Data/ui/empty.flag", "", ""},
      {"Data/z.dat", "old z", "new z"},
  };
  return files;
}

PackageLayout PatchLayout() {
  PackageLayout layout;
  layout.records.push_back(Manifest(kManifestText));
  for (const PatchedFile& file : PatchedFiles()) {
    layout.records.push_back(Entry(file.name, file.newContent));
  }
  layout.records[3].chunkPlainLengths = {100, 0, 37, 163};  // the tiles
  layout.directoryChunkRecordCounts = {3, 3};
  return layout;
}

// Every entry's content as packed, in the order the installer walks them.
using PackedEntries = std::map<std::string, std::string, EntryNameLess>;

struct Prediction {
  Outcome outcome = Outcome::kOtherPatch;
  FileTree written;  // what each entry written reads, up to a damaged entry
};

// Reads the installer at `path` as the installer will; `packed` is every entry's content.
Prediction Predict(const std::string& path, const PackedEntries& packed) {
  Prediction prediction;
  if (!OpenPackage(path)) {
    prediction.outcome = Outcome::kDamagedAtStart;
    return prediction;
  }
  // Names that differ from those packed would bring the name rule or the missing manifest
  // into play: such damage changes what the patch is, and is not played.
  if (PackageIndex.size() != packed.size()) return prediction;
  for (const auto& [name, entry] : PackageIndex) {
    if (packed.count(name) == 0) return prediction;
  }
  std::string manifest;
  if (!ReadEntry(*FindPackageEntry("config.txt"), manifest)) {
    prediction.outcome = Outcome::kManifestUnreadable;
    return prediction;
  }
  if (manifest != packed.at("config.txt")) return prediction;
  bool changed = false;
  for (const auto& [name, entry] : PackageIndex) {
    if (name == "config.txt") continue;
    std::vector<std::string> chunks;
    if (!ReadEntryChunks(chunks, entry)) {
      prediction.outcome = Outcome::kDamagedEntry;
      return prediction;
    }
    std::string& content = prediction.written[name];
    for (const std::string& chunk : chunks) content += chunk;
    changed = changed || content != packed.at(name);
  }
  prediction.outcome = changed ? Outcome::kInstalledChanged : Outcome::kInstalled;
  return prediction;
}

// A cut to `length` bytes, or the byte at `position` flipped by `pattern`.
struct DamageCase {
  std::string name;
  size_t length = 0;
  size_t position = 0;
  uint8_t pattern = 0;  // 0 for a cut
  Prediction prediction;

  std::string Apply(const std::string& whole) const {
    if (pattern == 0) return whole.substr(0, length);
    std::string bytes = whole;
    bytes[position] = static_cast<char>(bytes[position] ^ pattern);
    return bytes;
  }
};

// A file holding the installer's program once, whose package part is rewritten per case.
class CandidateFile {
 public:
  CandidateFile(std::string path, const std::string& bytes, size_t hostLength)
      : path_(std::move(path)), hostLength_(hostLength) {
    WriteBinaryFile(path_, bytes);
  }
  ~CandidateFile() {
    std::error_code ignored;
    fs::remove(path_, ignored);
  }
  CandidateFile(const CandidateFile&) = delete;
  CandidateFile& operator=(const CandidateFile&) = delete;

  const std::string& Hold(const std::string& bytes) {
    const size_t from = std::min(hostLength_, bytes.size());
    {
      std::fstream file(path_, std::ios::in | std::ios::out | std::ios::binary);
      file.seekp(static_cast<std::streamoff>(from));
      file.write(bytes.data() + from, static_cast<std::streamsize>(bytes.size() - from));
    }
    fs::resize_file(path_, bytes.size());
    return path_;
  }

 private:
  std::string path_;
  size_t hostLength_;
};

// Bytes of the installer whose damage may change the entries named: an entry's chunk header
// (any change), its ciphertext (one block), a directory chunk's ciphertext (the records whose
// bytes lie in or after the damaged block).
struct PackedPart {
  size_t begin = 0;
  size_t end = 0;
  enum class Kind { kChunkHeader, kEntryCiphertext, kDirectoryCiphertext } kind;
  std::vector<std::string> names;  // the entry, or the chunk's records in order
};

size_t WholeBlocks(size_t length) { return (length + 7) / 8 * 8; }

// Where the packer puts each part of `layout` (default region order) after `hostLength`
// bytes of program, from the layout itself: the entry streams in record order, then the
// directory chunks.
std::vector<PackedPart> PackedParts(const PackageLayout& layout, size_t hostLength) {
  std::vector<PackedPart> parts;
  size_t position = hostLength;
  for (const PackageRecord& record : layout.records) {
    std::vector<uint32_t> chunks = record.chunkPlainLengths;
    if (chunks.empty() && !record.content.empty()) {
      chunks.assign(1, static_cast<uint32_t>(record.content.size()));
    }
    for (const uint32_t plainLength : chunks) {
      parts.push_back({position, position + 8, PackedPart::Kind::kChunkHeader, {record.name}});
      position += 8;
      const size_t end = position + WholeBlocks(plainLength);
      parts.push_back({position, end, PackedPart::Kind::kEntryCiphertext, {record.name}});
      position = end;
    }
  }
  size_t nextRecord = 0;
  for (const uint32_t recordCount : layout.directoryChunkRecordCounts) {
    PackedPart chunk{position + 4, 0, PackedPart::Kind::kDirectoryCiphertext, {}};
    size_t plainLength = 0;
    for (uint32_t i = 0; i < recordCount; ++i) {
      const std::string& name = layout.records[nextRecord++].name;
      chunk.names.push_back(name);
      plainLength += 16 + name.size();
    }
    chunk.end = chunk.begin + WholeBlocks(plainLength);
    position = chunk.end;
    parts.push_back(chunk);
  }
  return parts;
}

uint32_t LittleEndian(const std::string& bytes, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t i = width; i-- > 0;) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

// Whether `parts` end where the installer's trailer and header say the directory begins and
// ends (its terminator, 4 bytes, then the header), so that they stand where the packer wrote.
bool PartsMatch(const std::vector<PackedPart>& parts, const std::string& installer) {
  const size_t header = LittleEndian(installer, installer.size() - 4, 4) ^ kTrailerMask;
  const size_t keyLength = LittleEndian(installer, header, 2);
  const size_t directory = LittleEndian(installer, header + 2 + keyLength, 4);
  size_t firstDirectoryChunk = 0;
  for (const PackedPart& part : parts) {
    if (part.kind == PackedPart::Kind::kDirectoryCiphertext && firstDirectoryChunk == 0) {
      firstDirectoryChunk = part.begin;
    }
  }
  return firstDirectoryChunk == directory + 4 && parts.back().end + 4 == header;
}

struct DamageBatch {
  ScenarioBatch batch;
  std::string installer;
  PackedEntries packed;
  std::vector<PackedPart> parts;
  std::vector<std::string> outOfReach[kOutcomeCount];  // predictions the damage cannot explain
  size_t tried[kOutcomeCount] = {};
  std::vector<std::vector<std::string>> played{kOutcomeCount};  // scenario names
  std::map<std::string, Prediction> predictions;
};

DamageBatch* Damage = nullptr;

// Empty when every entry that `damage` is predicted to read is as packed or changed only
// where the damage reaches; else what is wrong.
std::string OutOfReach(const DamageCase& damage) {
  std::vector<std::string> allowed;
  bool oneBlock = false;
  if (damage.pattern != 0) {
    for (const PackedPart& part : Damage->parts) {
      if (damage.position < part.begin || damage.position >= part.end) continue;
      if (part.kind == PackedPart::Kind::kDirectoryCiphertext) {
        const size_t blockStart = (damage.position - part.begin) / 8 * 8;
        size_t recordEnd = 0;
        for (const std::string& name : part.names) {
          recordEnd += 16 + name.size();
          if (recordEnd > blockStart) allowed.push_back(name);
        }
      } else {
        allowed = part.names;
        oneBlock = part.kind == PackedPart::Kind::kEntryCiphertext;
      }
    }
  }
  for (const auto& [name, content] : damage.prediction.written) {
    const std::string& packed = Damage->packed.at(name);
    if (content == packed) continue;
    if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
      return name + " reads other bytes, out of the damage's reach";
    }
    if (!oneBlock) continue;
    size_t first = content.size(), last = 0;
    for (size_t i = 0; i < content.size() && i < packed.size(); ++i) {
      if (content[i] != packed[i]) {
        first = std::min(first, i);
        last = i;
      }
    }
    if (content.size() != packed.size() || last - first >= 8) {
      return name + " changes beyond the one block the damage garbles";
    }
  }
  return std::string();
}

// The cases of one outcome, cuts and flips apart.
struct CasesOfOneOutcome {
  std::vector<DamageCase> cuts, flips;
};

// Every cut inside the package and one before it, and every byte from the end of the
// program on flipped three ways: each read and sorted by what the installer must do.
std::vector<CasesOfOneOutcome> TryEveryCase() {
  const std::string& whole = Damage->installer;
  const size_t hostLength = Damage->batch.hostProgram.size();
  CandidateFile file(Damage->batch.root + "/candidate.exe", whole, hostLength);
  std::vector<CasesOfOneOutcome> cases(kOutcomeCount);
  // Only the chosen cases' bytes are made again later: all of them would take gigabytes.
  const auto tryCase = [&](DamageCase damage) {
    damage.prediction = Predict(file.Hold(damage.Apply(whole)), Damage->packed);
    const auto outcome = static_cast<size_t>(damage.prediction.outcome);
    ++Damage->tried[outcome];
    const std::string outOfReach = OutOfReach(damage);
    if (!outOfReach.empty()) Damage->outOfReach[outcome].push_back(damage.name + ": " + outOfReach);
    (damage.pattern == 0 ? cases[outcome].cuts : cases[outcome].flips)
        .push_back(std::move(damage));
  };
  for (size_t length = hostLength - 1; length < whole.size(); ++length) {
    DamageCase cut;
    cut.name = "cut_at_" + std::to_string(length);
    cut.length = length;
    tryCase(std::move(cut));
  }
  for (size_t position = hostLength; position < whole.size(); ++position) {
    for (const uint8_t pattern : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xFF}}) {
      char name[64];
      std::snprintf(name, sizeof name, "flip_at_%zu_by_%02X", position, pattern);
      DamageCase flip;
      flip.name = name;
      flip.position = position;
      flip.pattern = pattern;
      tryCase(std::move(flip));
    }
  }
  return cases;
}

// `count` cases spread evenly over `cases`, which run in file order.
void Spread(const std::vector<DamageCase>& cases, size_t count,
            std::vector<const DamageCase*>& chosen) {
  count = std::min(count, cases.size());
  for (size_t i = 0; i < count; ++i) chosen.push_back(&cases[i * cases.size() / count]);
}

// Half the sample cuts and half flips, as far as there are both.
std::vector<const DamageCase*> Sample(const CasesOfOneOutcome& cases, size_t count) {
  std::vector<const DamageCase*> chosen;
  Spread(cases.cuts, cases.flips.empty() ? count : count / 2, chosen);
  Spread(cases.flips, count - chosen.size(), chosen);
  return chosen;
}

void DefineScenario(const DamageCase& damage) {
  Scenario& s = Damage->batch.Add(damage.name);
  s.PutGame(VersionFile(1, 0, 4));
  for (const PatchedFile& file : PatchedFiles()) {
    if (!file.oldContent.empty()) s.Put(file.name, file.oldContent);
  }
  s.PutInstaller(damage.Apply(Damage->installer));
  const size_t range = 2 * Damage->packed.size();
  switch (damage.prediction.outcome) {
    case Outcome::kDamagedAtStart:
      s.Launch().Box(kPackageDamaged, "1", "error").Press(kOk).Exit(1);
      break;
    case Outcome::kManifestUnreadable:
      s.Launch().Box(kManifestUnreadable, "1", "error").Press(kOk).Exit(2);
      break;
    case Outcome::kDamagedEntry:
      s.Launch()
          .Dialog({kNotesShown})
          .Click(kInstallButton)
          .Box(kEntryDamaged, "1", "error")
          .Dialog({kNotesShown, 0, static_cast<int>(range),
                   static_cast<int>(2 * damage.prediction.written.size()), false, true})
          .Press(kOk)
          .Exit(0);
      break;
    case Outcome::kInstalled:
    case Outcome::kInstalledChanged:
      s.LaunchAndInstall();
      break;
    case Outcome::kOtherPatch:
      break;
  }
  Damage->predictions[damage.name] = damage.prediction;
}

// The game folder as the prediction leaves it: each file written as read, and with a
// completed install the version file too.
FileTree ExpectedGame(const Scenario& s, const Prediction& prediction) {
  FileTree expected = s.GameBeforeWith(prediction.written);
  if (prediction.outcome == Outcome::kInstalled ||
      prediction.outcome == Outcome::kInstalledChanged) {
    expected["Bin/version.xml"] = kVersionFile105;
  }
  return expected;
}

}  // namespace

class DamagedInstallerEndToEnd : public testing::Test {
 public:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

 protected:
  void SetUp() override {
    RequireBatch(Damage->batch);
  }

  static void ExpectPlayedAsPredicted(Outcome outcome) {
    const std::vector<std::string>& names = Damage->played[static_cast<size_t>(outcome)];
    EXPECT_FALSE(names.empty()) << "no case of this kind was found to play";
    const std::vector<std::string>& outOfReach = Damage->outOfReach[static_cast<size_t>(outcome)];
    EXPECT_TRUE(outOfReach.empty())
        << outOfReach.size() << " cases read as the damage cannot explain, such as "
        << outOfReach.front();
    for (const std::string& name : names) {
      SCOPED_TRACE(name);
      const Scenario& s = Damage->batch.scenarios.at(name);
      ExpectTranscript(Damage->batch, s);
      ExpectFiles(s.GameFiles(), ExpectedGame(s, Damage->predictions.at(name)));
    }
  }
};

void DamagedInstallerEndToEnd::SetUpTestSuite() {
  Damage = new DamageBatch;
  if (!Damage->batch.Prepare()) return;
  const PackageLayout layout = PatchLayout();
  for (const PackageRecord& record : layout.records) Damage->packed[record.name] = record.content;
  Damage->installer = Damage->batch.Installer(layout);
  Damage->parts = PackedParts(layout, Damage->batch.hostProgram.size());
  if (!PartsMatch(Damage->parts, Damage->installer)) {
    Damage->batch.setupError = "the parts found from the layout are not where the packer put them";
    return;
  }

  const std::vector<CasesOfOneOutcome> cases = TryEveryCase();
  std::printf("[ e2e      ] damaged installers tried, by what the installer must do:\n");
  for (size_t outcome = 0; outcome < kOutcomeCount; ++outcome) {
    std::string names;
    for (const DamageCase* damage : Sample(cases[outcome], kPlayed[outcome])) {
      DefineScenario(*damage);
      Damage->played[outcome].push_back(damage->name);
      names += " " + damage->name;
    }
    std::printf("[ e2e      ]   %-19s %4zu, played:%s\n", kOutcomeNames[outcome],
                Damage->tried[outcome], names.empty() ? " none" : names.c_str());
  }
  Damage->batch.Play("damaged installers");
}

void DamagedInstallerEndToEnd::TearDownTestSuite() {
  Damage->batch.Finish(CurrentSuiteFailed());
  delete Damage;
  Damage = nullptr;
}

TEST_F(DamagedInstallerEndToEnd, DamageFoundAtStartUpTouchesNoGameFile) {
  ExpectPlayedAsPredicted(Outcome::kDamagedAtStart);
}

TEST_F(DamagedInstallerEndToEnd, UnreadableManifestTouchesNoGameFile) {
  ExpectPlayedAsPredicted(Outcome::kManifestUnreadable);
}

TEST_F(DamagedInstallerEndToEnd, DamagedEntryStopsTheInstallWithEveryFileWholeOldOrNew) {
  ExpectPlayedAsPredicted(Outcome::kDamagedEntry);
}

TEST_F(DamagedInstallerEndToEnd, DamageThatChangesNothingInstallsThePatch) {
  ExpectPlayedAsPredicted(Outcome::kInstalled);
}

TEST_F(DamagedInstallerEndToEnd, UnnoticedChangesAreWrittenWholeAsRead) {
  ExpectPlayedAsPredicted(Outcome::kInstalledChanged);
}
