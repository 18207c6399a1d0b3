// The real installer under Wine, as a user meets it. Every scenario gets its own game
// folder and its own installer (the built installer program with a package from our writer
// appended); one driver process then plays all scenarios in a row, because every Wine
// process is slow to start (minutes under emulation). Each test checks one scenario: the
// transcript of what the windows showed and what was pressed, the exit code, and the bytes
// left on disk.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "EndToEndBatch.h"
#include "InstallerExpectations.h"
#include "vantis-pack/commands/BuildInstaller.h"
#include "vantis-pack/commands/DiffInstaller.h"
#include "support/PackageFixture.h"

namespace {

namespace fs = std::filesystem;

// Beyond the end of every installer: reading there fails like a damaged entry.
constexpr uint32_t kUnreadableOffset = 0x7FFFFF00u;

ScenarioBatch* Batch = nullptr;

std::string Installer(std::vector<PackageRecord> records) {
  return Batch->Installer(std::move(records));
}

// --- The scenarios, in the order the driver plays them --------------------------------

Scenario& NewScenario(const std::string& name) { return Batch->Add(name); }

void DefineStartUpFailures() {
  {
    // An interrupted download: the package's second half and its trailer are missing.
    Scenario& s = NewScenario("truncated_installer");
    s.PutGame(VersionFile(1, 0, 4));
    const std::string whole = Installer({Manifest("1.0.5 = 1.0.4\r\n"), Entry("Data/a.dat", "a")});
    const size_t hostLength = Batch->hostProgram.size();
    s.PutInstaller(whole.substr(0, hostLength + (whole.size() - hostLength) / 2));
    s.Launch().Box(kPackageDamaged, "1", "error").Press(kOk).Exit(1);
  }
  {
    Scenario& s = NewScenario("entry_outside_game_folder");
    s.PutGame(VersionFile(1, 0, 4));
    s.PutInstaller(Installer({Manifest("1.0.5 = 1.0.4\r\n"), Entry("../escaped.txt", "outside"),
                              Entry("Data/a.dat", "a")}));
    s.Launch().Box(kPackageDamaged, "1", "error").Press(kOk).Exit(1);
  }
  {
    Scenario& s = NewScenario("no_game_executable");
    s.Put("Bin/version.xml", VersionFile(1, 0, 4));
    s.PutInstaller(Installer({Manifest("1.0.5 = 1.0.4\r\n"), Entry("Data/a.dat", "a")}));
    s.Launch().Box(kRunFromUpdatesFolder, "1", "error").Press(kOk).Exit(2);
  }
  {
    // Only the exact name counts as the manifest.
    Scenario& s = NewScenario("no_manifest");
    s.PutGame(VersionFile(1, 0, 4));
    s.PutInstaller(Installer({Entry("CONFIG.TXT", "1.0.5 = 1.0.4\r\n"),
                              Entry("Data/config.txt", "1.0.5 = 1.0.4\r\n"),
                              Entry("Data/a.dat", "a")}));
    s.Launch().Box(kManifestMissing, "1", "error").Press(kOk).Exit(2);
  }
  {
    Scenario& s = NewScenario("unreadable_manifest");
    s.PutGame(VersionFile(1, 0, 4));
    s.PutInstaller(Installer({MakeFixedRecord("config.txt", kUnreadableOffset, 64),
                              Entry("Data/a.dat", "a")}));
    s.Launch().Box(kManifestUnreadable, "1", "error").Press(kOk).Exit(2);
  }
}

void DefineVersionDecisions() {
  {
    Scenario& s = NewScenario("reinstall_declined");
    s.PutGame(VersionFile(1, 0, 5));
    s.PutInstaller(Installer({Manifest("1.0.5 = 1.0.4\r\n" + kNotes936), Entry("Data/a.dat", "a")}));
    s.Launch().Box(kAskInstalledNotOlder, "1,2", "warning").Press(kCancel).Exit(2);
  }
  {
    // The rule token is wrong, but a newer game is asked about before the rule is read;
    // OK leads to the dialog, and Close there ends the run without touching anything.
    Scenario& s = NewScenario("reinstall_confirmed_then_closed");
    s.PutGame(VersionFile(1, 0, 6));
    s.PutInstaller(Installer({Manifest("1.0.5 >= 1.0.4\r\n" + kNotes936), Entry("Data/a.dat", "a")}));
    s.SeedSettings("[Renderer]\r\nAAQuality=3\r\n");
    s.Launch()
        .Box(kAskInstalledNotOlder, "1,2", "warning")
        .Press(kOk)
        .Dialog({kNotesShown})
        .Click(kCloseButton)
        .Exit(0);
    s.SnapshotSettings();
  }
  {
    Scenario& s = NewScenario("exact_rule_mismatch");
    s.PutGame(VersionFile(1, 0, 3));
    s.PutInstaller(Installer({Manifest("1.0.5 = 1.0.4\r\n" + kNotes936)}));
    s.Launch().Box("请先安装1.0.4版本!", "1", "warning").Press(kOk).Exit(2);
  }
  {
    // No version file reads as 0.0.0; the required 1.300.2 is shown as it packs, 2.44.2.
    Scenario& s = NewScenario("exact_rule_without_version_file");
    s.PutGame("");
    s.PutInstaller(Installer({Manifest("1.0.5 = 1.300.2\r\n" + kNotes936)}));
    s.Launch().Box("请先安装2.44.2版本!", "1", "warning").Press(kOk).Exit(2);
  }
  {
    Scenario& s = NewScenario("at_most_rule_exceeded_declined");
    s.PutGame(VersionFile(1, 0, 4));
    s.PutInstaller(Installer({Manifest("1.0.5 <= 1.0.3\r\n" + kNotes936)}));
    s.Launch().Box(kAskInstalledAboveRequired, "1,2", "warning").Press(kCancel).Exit(2);
  }
  {
    Scenario& s = NewScenario("invalid_rule");
    s.PutGame(VersionFile(1, 0, 2));
    s.PutInstaller(Installer({Manifest("1.0.5 >= 1.0.4\r\n" + kNotes936)}));
    s.Launch().Box(kManifestInvalid, "1", "error").Press(kOk).Exit(2);
  }
}

void DefineInstalls() {
  {
    Scenario& s = NewScenario("full_install");
    s.PutGame(VersionFile(1, 0, 4));
    s.Put("Bin/game.dll", "old game.dll");
    s.Put("Bin/empty.cfg", "old settings that the patch empties");
    PackageRecord dll = Entry("Bin/game.dll", Noise(20000, 1));
    // Chunk boundaries off the cipher's block size, and an empty chunk among them.
    dll.chunkPlainLengths = {7, 0, 8192, 11801};
    s.PutInstaller(Installer({Manifest("1.0.5 = 1.0.4\r\n" + kNotes936), dll,
                              Entry("Bin/empty.cfg", ""),
                              Entry("Data/Maps/Deep/level1.map", "level one"),
                              // Above one entry chunk's limit, so it spans two.
                              Entry("Data/big.pak", Noise(1100000, 2)),
                              Entry("Data/config.txt", "an ordinary file of the patch"),
                              Entry("CONFIG.TXT", "the manifest's name in capitals")}));
    s.SeedSettings("[Renderer]\r\nAAQuality=3\r\nShadowQuality=2\r\n\r\n[Audio]\r\nVolume=80\r\n");
    s.LaunchAndInstall();
    s.SnapshotSettings();
  }
  {
    // Bin/b.dat cannot be read: Bin/a.dat is written, Bin/c.dat never reached.
    Scenario& s = NewScenario("damaged_entry");
    s.PutGame(VersionFile(1, 0, 2));
    s.Put("Bin/b.dat", "old b");
    s.PutInstaller(Installer({Manifest("1.0.5 <= 1.0.4\r\n" + kNotes936), Entry("Bin/a.dat", "new a"),
                              MakeFixedRecord("Bin/b.dat", kUnreadableOffset, 100),
                              Entry("Bin/c.dat", "new c")}));
    s.SeedSettings("[Renderer]\r\nAAQuality=3\r\n");
    s.Launch()
        .Dialog({kNotesShown})
        .Click(kInstallButton)
        .Box(kEntryDamaged, "1", "error")
        // Range twice the index (manifest included); a.dat's two steps done.
        .Dialog({kNotesShown, 0, 8, 2, false, true})
        .Press(kOk)
        .Exit(0);
    s.SnapshotSettings();
  }
  {
    // With no version file and "<=" there is no question. The installer's folder need not
    // be called "updates", and a package holding only its manifest still installs. The
    // settings folder exists but holds no settings file: none may be made.
    Scenario& s = NewScenario("manifest_only");
    s.PutGame("");
    s.PutInstaller(Installer({Manifest("1.0.5 <= 1.0.4\r\n" + kNotes936)}), "downloads/Setup.exe");
    s.script.Remove(kSettingsRoot).MakeFolder(kSettingsFolder);
    s.LaunchAndInstall()
        .Exists(kSettingsFile, false);
  }
}

// The game below a folder named 游戏, which the ANSI code page of this Wine session (1252)
// cannot spell: reached through its UTF-16 path, the game is patched as anywhere else.
constexpr char kNonAnsiFolder[] = "\xE6\xB8\xB8\xE6\x88\x8F/";

void DefineGameFolderOutsideTheCodePage() {
  Scenario& s = NewScenario("game_folder_outside_the_code_page");
  const std::string game = kNonAnsiFolder;
  s.Put(game + "Bin/Vantis.exe", "game");
  s.Put(game + "Bin/version.xml", VersionFile(1, 0, 4));
  s.Put(game + "Data/a.dat", "old a");
  s.PutInstaller(Installer({Manifest("1.0.5 = 1.0.4\r\n" + kNotes936), Entry("Data/a.dat", "new a"),
                            Entry("Data/New/b.dat", "new b")}),
                 game + "updates/VantisPatch.exe");
  s.LaunchAndInstall();
}

// The publisher's way: a folder with a UTF-8 manifest, packed by vantis-pack's build.
std::string PackWithVantisPack(const Scenario& s) {
  const std::string source = s.folder + "/source";
  WriteBinaryFile(source + "/config.txt",
                  "1.0.5 = 1.0.4\r\n本补丁修复了存档读取问题。\r\n更新后请重新启动游戏。");
  WriteBinaryFile(source + "/Bin/game.dll", Noise(3000000, 7));
  WriteBinaryFile(source + "/Data/Maps/Deep/level1.map", "level one");
  WriteBinaryFile(source + "/Data/empty.dat", "");
  WriteBinaryFile(s.folder + "/stub.exe", Batch->hostProgram);

  BuildOptions options;
  options.sourceFolder = source;
  options.outputPath = s.folder + "/packed.exe";
  options.stubPath = s.folder + "/stub.exe";
  std::ostringstream out, err;
  CommandOutput output{out, err};
  std::string error, bytes;
  EXPECT_TRUE(BuildInstaller(options, output, error)) << error;
  ReadBinaryFile(s.folder + "/packed.exe", bytes);
  return bytes;
}

void DefinePackedByVantisPack() {
  Scenario& s = NewScenario("packed_by_vantis_pack");
  s.PutGame(VersionFile(1, 0, 4));
  s.PutInstaller(PackWithVantisPack(s));
  s.LaunchAndInstall();
}

// A release's way: vantis-pack's diff of the game folder as players have it (OLD, this
// scenario's game folder) and as the next version is (NEW, beside it). Data/gone.dat is
// missing in NEW, which the format cannot express: it stays.
std::string NextGameFolder(const Scenario& s) { return s.folder + "/next"; }

std::string DiffWithVantisPack(const Scenario& s) {
  s.Put("Bin/game.dll", Noise(300000, 3));
  s.Put("Data/same.dat", "same");
  s.Put("Data/gone.dat", "gone");
  const std::string next = NextGameFolder(s);
  WriteBinaryFile(next + "/Bin/Vantis.exe", "stands in for the game");
  WriteBinaryFile(next + "/Bin/version.xml", VersionFile(1, 0, 5));
  WriteBinaryFile(next + "/Bin/game.dll", Noise(300000, 4));
  WriteBinaryFile(next + "/Data/same.dat", "same");
  WriteBinaryFile(next + "/Data/Maps/new.map", "new map");
  WriteBinaryFile(s.folder + "/notes.txt", "本补丁修复了存档读取问题。\r\n更新后请重新启动游戏。");
  WriteBinaryFile(s.folder + "/stub.exe", Batch->hostProgram);

  DiffOptions options;
  options.oldFolder = s.game;
  options.newFolder = next;
  options.outputPath = s.folder + "/patch.exe";
  options.notesPath = s.folder + "/notes.txt";
  options.stubPath = s.folder + "/stub.exe";
  std::ostringstream out, err;
  CommandOutput output{out, err};
  std::string error, bytes;
  EXPECT_TRUE(DiffInstaller(options, output, error)) << error;
  EXPECT_NE(err.str().find("Data/gone.dat: in OLD but not in NEW"), std::string::npos)
      << err.str();
  ReadBinaryFile(s.folder + "/patch.exe", bytes);
  return bytes;
}

void DefineDiffedByVantisPack() {
  Scenario& s = NewScenario("diffed_by_vantis_pack");
  s.PutGame(VersionFile(1, 0, 4));
  s.PutInstaller(DiffWithVantisPack(s));
  s.LaunchAndInstall();
}

// Data/locked.dat is held open by the driver with no sharing, which stops the worker on
// the second of three files with the folder-not-writable question: a point where the
// worker waits, so the dialog's give-up paths can be played without racing it.
Scenario& NewLockedTargetScenario(const std::string& name) {
  Scenario& s = NewScenario(name);
  s.PutGame(VersionFile(1, 0, 4));
  s.Put("Data/locked.dat", "old locked");
  s.PutInstaller(Installer({Manifest("1.0.5 = 1.0.4\r\n" + kNotes936), Entry("Data/a.dat", "new a"),
                            Entry("Data/locked.dat", "new locked"), Entry("Data/z.dat", "new z")}));
  return s;
}

// While the worker waits on locked.dat: two of eight steps for a.dat, one for reading
// locked.dat.
const DialogState kWaitingOnLockedFile = {kNotesShown, 0, 8, 3, false, true};

void DefineLockedTargets() {
  {
    // Retry while still locked asks again; Close answered No changes nothing; Retry after
    // the release finishes the install. Without settings no settings folder is made.
    Scenario& s = NewLockedTargetScenario("locked_target_retried");
    s.script.Remove(kSettingsRoot);
    s.script.Lock(s.Win("Data/locked.dat"));
    s.Launch()
        .Dialog({kNotesShown})
        .Click(kInstallButton)
        .Box(kFolderNotWritable, "2,4", "error")
        .Dialog(kWaitingOnLockedFile)
        .Press(kRetry)
        .Box(kFolderNotWritable, "2,4", "error")
        .Click(kCloseButton)
        .Box(kAskGiveUp, "6,7", "error")
        .Press(kNo)
        .Dialog(kWaitingOnLockedFile)
        .Unlock()
        .Press(kRetry)
        .Box(kInstallSucceeded, "1", "none")
        .Press(kOk)
        .Exit(0)
        .Exists(kSettingsRoot, false);
  }
  {
    Scenario& s = NewLockedTargetScenario("locked_target_cancelled");
    s.SeedSettings("[Renderer]\r\nAAQuality=3\r\n");
    s.script.Lock(s.Win("Data/locked.dat"));
    s.Launch()
        .Dialog({kNotesShown})
        .Click(kInstallButton)
        .Box(kFolderNotWritable, "2,4", "error")
        .Press(kCancel)
        .Exit(0);
    s.SnapshotSettings();
  }
  {
    // Giving up while the worker waits: the file in hand is still finished after the
    // release, then the worker stops before the next one.
    Scenario& s = NewLockedTargetScenario("give_up_confirmed");
    s.SeedSettings("[Renderer]\r\nAAQuality=3\r\n");
    s.script.Lock(s.Win("Data/locked.dat"));
    s.LaunchAndGiveUpAtBox(kFolderNotWritable, {kCancelling, 0, 8, 3, false, false})
        .Unlock()
        .Press(kRetry)
        .Exit(0);
    s.SnapshotSettings();
  }
}

}  // namespace

class InstallerEndToEnd : public testing::Test {
 public:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

 protected:
  void SetUp() override {
    RequireBatch(*Batch);
  }

  static const Scenario& Get(const std::string& name) { return Batch->scenarios.at(name); }
  static void ExpectTranscript(const Scenario& s) { ::ExpectTranscript(*Batch, s); }
  static void ExpectGameUnchanged(const Scenario& s) { ExpectFiles(s.GameFiles(), s.gameBefore); }
};

void InstallerEndToEnd::SetUpTestSuite() {
  Batch = new ScenarioBatch;
  if (!Batch->Prepare()) return;
  DefineStartUpFailures();
  DefineVersionDecisions();
  DefineInstalls();
  DefineGameFolderOutsideTheCodePage();
  DefinePackedByVantisPack();
  DefineDiffedByVantisPack();
  DefineLockedTargets();
  Batch->Play("installer");
}

void InstallerEndToEnd::TearDownTestSuite() {
  Batch->Finish(CurrentSuiteFailed());
  delete Batch;
  Batch = nullptr;
}

// --- Start-up ---------------------------------------------------------------------------

TEST_F(InstallerEndToEnd, TruncatedInstallerIsADamagedPackage) {
  const Scenario& s = Get("truncated_installer");
  ExpectTranscript(s);
  ExpectGameUnchanged(s);
}

TEST_F(InstallerEndToEnd, EntryNamedOutsideTheGameFolderIsADamagedPackage) {
  const Scenario& s = Get("entry_outside_game_folder");
  ExpectTranscript(s);
  ExpectGameUnchanged(s);
  EXPECT_FALSE(fs::exists(s.folder + "/escaped.txt"));
}

TEST_F(InstallerEndToEnd, MissingGameExecutableSendsTheUserToTheUpdatesFolder) {
  const Scenario& s = Get("no_game_executable");
  ExpectTranscript(s);
  ExpectGameUnchanged(s);
}

TEST_F(InstallerEndToEnd, ManifestIsFoundOnlyByItsExactName) {
  const Scenario& s = Get("no_manifest");
  ExpectTranscript(s);
  ExpectGameUnchanged(s);
}

TEST_F(InstallerEndToEnd, UnreadableManifestIsReported) {
  const Scenario& s = Get("unreadable_manifest");
  ExpectTranscript(s);
  ExpectGameUnchanged(s);
}

// --- Version decisions --------------------------------------------------------------------

TEST_F(InstallerEndToEnd, DecliningAReinstallEndsWithExitCode2) {
  const Scenario& s = Get("reinstall_declined");
  ExpectTranscript(s);
  ExpectGameUnchanged(s);
}

TEST_F(InstallerEndToEnd, ConfirmedReinstallShowsTheDialogAndCloseWritesNothing) {
  const Scenario& s = Get("reinstall_confirmed_then_closed");
  ExpectTranscript(s);
  ExpectGameUnchanged(s);
  EXPECT_EQ(s.SettingsAfter(), s.SettingsBefore());
}

TEST_F(InstallerEndToEnd, ExactRuleNamesTheRequiredVersion) {
  const Scenario& s = Get("exact_rule_mismatch");
  ExpectTranscript(s);
  ExpectGameUnchanged(s);
}

TEST_F(InstallerEndToEnd, ExactRuleWithoutVersionFileShowsThePackedRequiredVersion) {
  const Scenario& s = Get("exact_rule_without_version_file");
  ExpectTranscript(s);
  ExpectGameUnchanged(s);
}

TEST_F(InstallerEndToEnd, AtMostRuleAsksAboutANewerGame) {
  const Scenario& s = Get("at_most_rule_exceeded_declined");
  ExpectTranscript(s);
  ExpectGameUnchanged(s);
}

TEST_F(InstallerEndToEnd, InvalidRuleIsReported) {
  const Scenario& s = Get("invalid_rule");
  ExpectTranscript(s);
  ExpectGameUnchanged(s);
}

// --- Installs -----------------------------------------------------------------------------

TEST_F(InstallerEndToEnd, FullInstallWritesEveryFileTheVersionAndTheSetting) {
  const Scenario& s = Get("full_install");
  ExpectTranscript(s);
  ExpectFiles(s.GameFiles(), s.GameBeforeWith({{"Bin/game.dll", Noise(20000, 1)},
                                               {"Bin/empty.cfg", ""},
                                               {"Data/Maps/Deep/level1.map", "level one"},
                                               {"Data/big.pak", Noise(1100000, 2)},
                                               {"Data/config.txt", "an ordinary file of the patch"},
                                               {"Bin/version.xml", kVersionFile105}}));

  using Profile = std::map<std::string, std::map<std::string, std::string>>;
  EXPECT_EQ(ReadProfileEntries(s.SettingsAfter()),
            (Profile{{"Renderer", {{"AAQuality", "0"}, {"ShadowQuality", "2"}}},
                     {"Audio", {{"Volume", "80"}}}}));
}

TEST_F(InstallerEndToEnd, DamagedEntryStopsTheInstallAndKeepsTheOldFile) {
  const Scenario& s = Get("damaged_entry");
  ExpectTranscript(s);
  ExpectFiles(s.GameFiles(), s.GameBeforeWith({{"Bin/a.dat", "new a"}}));
  EXPECT_EQ(s.SettingsAfter(), s.SettingsBefore());
}

TEST_F(InstallerEndToEnd, ManifestOnlyPackageWritesTheVersionFile) {
  const Scenario& s = Get("manifest_only");
  ExpectTranscript(s);
  ExpectFiles(s.GameFiles(), s.GameBeforeWith({{"Bin/version.xml", kVersionFile105}}));
}

TEST_F(InstallerEndToEnd, GameFolderOutsideTheAnsiCodePageIsPatched) {
  const Scenario& s = Get("game_folder_outside_the_code_page");
  ExpectTranscript(s);
  const std::string game = kNonAnsiFolder;
  ExpectFiles(s.GameFiles(), s.GameBeforeWith({{game + "Data/a.dat", "new a"},
                                               {game + "Data/New/b.dat", "new b"},
                                               {game + "Bin/version.xml", kVersionFile105}}));
}

TEST_F(InstallerEndToEnd, InstallerBuiltByVantisPackInstallsItsFolder) {
  const Scenario& s = Get("packed_by_vantis_pack");
  ExpectTranscript(s);
  ExpectFiles(s.GameFiles(), s.GameBeforeWith({{"Bin/game.dll", Noise(3000000, 7)},
                                               {"Data/Maps/Deep/level1.map", "level one"},
                                               {"Data/empty.dat", ""},
                                               {"Bin/version.xml", kVersionFile105}}));
}

TEST_F(InstallerEndToEnd, InstallerMadeByVantisPackDiffTakesTheGameToTheNewFolder) {
  const Scenario& s = Get("diffed_by_vantis_pack");
  ExpectTranscript(s);
  FileTree expected = ReadFileTree(NextGameFolder(s));
  expected["Data/gone.dat"] = "gone";
  ExpectFiles(s.GameFiles(), expected);
}

// --- A target held open by another program, and giving up --------------------------------

TEST_F(InstallerEndToEnd, RetryAfterTheLockIsReleasedCompletesTheInstall) {
  const Scenario& s = Get("locked_target_retried");
  ExpectTranscript(s);
  ExpectFiles(s.GameFiles(), s.GameBeforeWith({{"Data/a.dat", "new a"},
                                               {"Data/locked.dat", "new locked"},
                                               {"Data/z.dat", "new z"},
                                               {"Bin/version.xml", kVersionFile105}}));
}

TEST_F(InstallerEndToEnd, CancelOnALockedTargetKeepsItAndLeavesNoTemporaryFile) {
  const Scenario& s = Get("locked_target_cancelled");
  ExpectTranscript(s);
  ExpectFiles(s.GameFiles(), s.GameBeforeWith({{"Data/a.dat", "new a"}}));
  EXPECT_EQ(s.SettingsAfter(), s.SettingsBefore());
}

TEST_F(InstallerEndToEnd, GivingUpFinishesTheFileInHandAndStops) {
  const Scenario& s = Get("give_up_confirmed");
  ExpectTranscript(s);
  ExpectFiles(s.GameFiles(), s.GameBeforeWith({{"Data/a.dat", "new a"},
                                               {"Data/locked.dat", "new locked"}}));
  EXPECT_EQ(s.SettingsAfter(), s.SettingsBefore());
}
