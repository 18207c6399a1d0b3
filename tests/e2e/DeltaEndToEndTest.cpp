// Small patches met by the real installer under Wine: a patch made by vantis-pack's diff
// from two real consecutive releases (bench/fetch-releases.sh lays them out; the suite
// skips without them) takes the old release exactly to the new one through its deltas;
// a game file one byte off the one a delta was made against stops the install before
// anything is written, naming the file; and a build of compressed entries installs exactly.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "EndToEndBatch.h"
#include "InstallerExpectations.h"
#include "package/PackageIndex.h"
#include "package/format/EntryEncoding.h"
#include "vantis-pack/commands/DiffInstaller.h"

namespace fs = std::filesystem;

namespace {

struct DeltaBatch {
  ScenarioBatch batch;
  FileTree oldFiles;
  FileTree newFiles;
  std::string patch;         // diff's installer
  std::string lastDelta;     // the last delta entry in name order
  size_t patchEntries = 0;   // the manifest among them
  std::string compressed;    // build's installer of compressible files
  FileTree compressedFiles;
};

DeltaBatch* Delta = nullptr;

// The release pair named by VANTIS_RELEASE_PAIR (a folder with old/ and new/), each with
// the game's own version file in place of the release's.
bool LoadReleases() {
  const char* pair = std::getenv("VANTIS_RELEASE_PAIR");
  if (pair == nullptr || !fs::is_directory(fs::path(pair) / "old")) {
    Delta->batch.skipReason =
        "no release pair: run bench/fetch-releases.sh and set VANTIS_RELEASE_PAIR";
    return false;
  }
  Delta->oldFiles = ReadFileTree((fs::path(pair) / "old").string());
  Delta->newFiles = ReadFileTree((fs::path(pair) / "new").string());
  Delta->oldFiles["Bin/version.xml"] = VersionFile(1, 0, 4);
  Delta->newFiles["Bin/version.xml"] = kVersionFile105;
  return true;
}

bool MakePatch() {
  const std::string folder = Delta->batch.root + "/publisher";
  for (const auto& [name, bytes] : Delta->oldFiles) WriteBinaryFile(folder + "/old/" + name, bytes);
  for (const auto& [name, bytes] : Delta->newFiles) WriteBinaryFile(folder + "/new/" + name, bytes);
  WriteBinaryFile(folder + "/notes.txt", kNotesShown);
  WriteBinaryFile(folder + "/stub.exe", Delta->batch.hostProgram);
  DiffOptions options;
  options.oldFolder = folder + "/old";
  options.newFolder = folder + "/new";
  options.notesPath = folder + "/notes.txt";
  options.outputPath = folder + "/patch.exe";
  options.stubPath = folder + "/stub.exe";
  std::ostringstream out, err;
  CommandOutput output{out, err};
  std::string error;
  if (!DiffInstaller(options, output, error) ||
      !ReadBinaryFile(folder + "/patch.exe", Delta->patch) || !OpenPackage(folder + "/patch.exe")) {
    Delta->batch.setupError = "diff: " + error;
    return false;
  }
  std::printf("[ e2e      ] %s", out.str().c_str());
  for (const auto& [name, entry] : PackageIndex) {
    EntryKind kind = EntryKind::kWhole;
    ReadEntryKind(PackageVolumeTable[entry.volume].integrity, entry, kind);
    std::printf("[ e2e      ] %-10s %10u  %s\n", EntryKindName(kind), entry.size, name.c_str());
    if (kind == EntryKind::kDelta) Delta->lastDelta = name;
  }
  Delta->patchEntries = PackageIndex.size();
  if (Delta->lastDelta.empty()) {
    Delta->batch.setupError = "diff wrote no delta entry for the release pair";
    return false;
  }
  return true;
}

// Text that deflates well: the new release's files, under names of their own.
bool MakeCompressed() {
  for (const auto& [name, bytes] : Delta->newFiles) {
    if (name != "Bin/version.xml") Delta->compressedFiles["Packed/" + name] = bytes;
  }
  FileTree files = Delta->compressedFiles;
  files["config.txt"] = "1.0.5 = 1.0.4\r\n本补丁修复了存档读取问题。\r\n更新后请重新启动游戏。";
  return BuildWithPacker(Delta->batch, Delta->batch.root + "/builder", files, Delta->compressed);
}

Scenario& NewScenario(const std::string& name, const std::string& installer) {
  Scenario& s = Delta->batch.Add(name);
  s.PutGame("");
  for (const auto& [file, content] : Delta->oldFiles) s.Put(file, content);
  s.PutInstaller(installer);
  return s;
}

void DefineScenarios() {
  NewScenario("delta_patch", Delta->patch).LaunchAndInstall();

  // The last delta in the order the walk writes: only a check of every game file before the
  // first write keeps the files before it as they were.
  Scenario& changed = NewScenario("delta_source_changed", Delta->patch);
  std::string off = Delta->oldFiles.at(Delta->lastDelta);
  off[off.size() / 2] = static_cast<char>(off[off.size() / 2] ^ 0x01);
  changed.Put(Delta->lastDelta, off);
  const size_t entries = Delta->patchEntries;
  changed.Launch()
      .Dialog({kNotesShown})
      .Click(kInstallButton)
      .Box("游戏文件" + Delta->lastDelta + "与此补丁不匹配，请确认游戏文件完好后重新安装！", "1",
           "error")
      .Dialog({kNotesShown, 0, static_cast<int>(entries * 2), 0, false, true})
      .Press(kOk)
      .Exit(0);

  NewScenario("compressed_build", Delta->compressed).LaunchAndInstall();
}

}  // namespace

class DeltaEndToEnd : public testing::Test {
 public:
  static void SetUpTestSuite() {
    Delta = new DeltaBatch;
    if (!Delta->batch.Prepare() || !LoadReleases() || !MakePatch() || !MakeCompressed()) return;
    DefineScenarios();
    Delta->batch.Play("delta");
  }
  static void TearDownTestSuite() {
    Delta->batch.Finish(CurrentSuiteFailed());
    delete Delta;
    Delta = nullptr;
  }

 protected:
  void SetUp() override { RequireBatch(Delta->batch); }
};

TEST_F(DeltaEndToEnd, DeltaPatchFromTwoReleasesTakesTheOldExactlyToTheNew) {
  const Scenario& s = Delta->batch.scenarios.at("delta_patch");
  ExpectTranscript(Delta->batch, s);
  ExpectFiles(s.GameFiles(), s.GameBeforeWith(Delta->newFiles));
}

TEST_F(DeltaEndToEnd, GameFileOneByteOffStopsTheInstallNamingItAndWritesNothing) {
  const Scenario& s = Delta->batch.scenarios.at("delta_source_changed");
  ExpectTranscript(Delta->batch, s);
  ExpectFiles(s.GameFiles(), s.gameBefore);
}

TEST_F(DeltaEndToEnd, CompressedEntriesInstallExactly) {
  const Scenario& s = Delta->batch.scenarios.at("compressed_build");
  ExpectTranscript(Delta->batch, s);
  FileTree expected = s.GameBeforeWith(Delta->compressedFiles);
  expected["Bin/version.xml"] = kVersionFile105;
  ExpectFiles(s.GameFiles(), expected);
}
