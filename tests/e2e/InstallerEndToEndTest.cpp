// The real installer under Wine, as a user meets it. Every scenario gets its own game
// folder and its own installer (the built installer program with a package from our writer
// appended); one driver process then plays all scenarios in a row, because every Wine
// process is slow to start (minutes under emulation). Each test checks one scenario: the
// transcript of what the windows showed and what was pressed, the exit code, and the bytes
// left on disk.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "EndToEndBatch.h"
#include "packer/PackageWriter.h"

namespace {

namespace fs = std::filesystem;

using FileTree = std::map<std::string, std::string>;

constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kRetry = 4;
constexpr int kYes = 6;
constexpr int kNo = 7;
constexpr int kCloseButton = 2;
constexpr int kInstallButton = 102;

constexpr char kPackageDamaged[] = "补丁包损坏,请重新下载!";
constexpr char kRunFromUpdatesFolder[] = "请将此安装包放在游戏文件夹下的updates文件夹中运行!";
constexpr char kManifestMissing[] = "没有找到补丁包配置文件!";
constexpr char kManifestUnreadable[] = "补丁包损坏,读取配置文件出错!";
constexpr char kAskInstalledNotOlder[] = "您的游戏版本高于或等于此补丁版本,请确认是否再次安装!";
constexpr char kAskInstalledAboveRequired[] = "您的游戏版本高于此补丁所需版本,请确认是否再次安装!";
constexpr char kManifestInvalid[] = "补丁包配置文件错误!";
constexpr char kInstallSucceeded[] = "补丁包安装成功！";
constexpr char kAskGiveUp[] = "放弃安装可能导致游戏运行不能正常运行，真的要放弃安装吗？";
constexpr char kCancelling[] = "正在取消安装...";
constexpr char kEntryDamaged[] = "安装包已损坏，请重新下载！";
constexpr char kFolderNotWritable[] = "请检查游戏文件夹是否可以写入补丁包！";

// The notes as a manifest carries them (code page 936) and as the dialog must show them:
// 本补丁修复了存档读取问题。 / 更新后请重新启动游戏。
const std::string kNotes936 =
    "\xB1\xBE\xB2\xB9\xB6\xA1\xD0\xDE\xB8\xB4\xC1\xCB\xB4\xE6\xB5\xB5\xB6\xC1\xC8\xA1\xCE\xCA"
    "\xCC\xE2\xA1\xA3"
    "\r\n"
    "\xB8\xFC\xD0\xC2\xBA\xF3\xC7\xEB\xD6\xD8\xD0\xC2\xC6\xF4\xB6\xAF\xD3\xCE\xCF\xB7\xA1\xA3";
constexpr char kNotesShown[] = "本补丁修复了存档读取问题。\r\n更新后请重新启动游戏。";

constexpr char kPackageKey[] = "end-to-end package key";
// Beyond the end of every installer: reading there fails like a damaged entry.
constexpr uint32_t kUnreadableOffset = 0x7FFFFF00u;

constexpr char kSettingsRoot[] = "%LOCALAPPDATA%\\Pellory Games";
constexpr char kSettingsFolder[] = "%LOCALAPPDATA%\\Pellory Games\\Vantis\\Config";
constexpr char kSettingsFile[] = "%LOCALAPPDATA%\\Pellory Games\\Vantis\\Config\\config.ini";

// Bin\version.xml as the installer must write it for 1.0.5, written out independently.
constexpr char kVersionFile105[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<version>\n"
    "\t<major>1</major>\n"
    "\t<minor>0</minor>\n"
    "\t<build_number>5</build_number>\n"
    "</version>\n";

std::string VersionFile(unsigned major, unsigned minor, unsigned build) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<version>\n\t<major>" +
         std::to_string(major) + "</major>\n\t<minor>" + std::to_string(minor) +
         "</minor>\n\t<build_number>" + std::to_string(build) + "</build_number>\n</version>\n";
}

std::string Noise(size_t length, uint32_t seed) {
  std::string bytes(length, '\0');
  for (char& byte : bytes) {
    seed = seed * 1664525u + 1013904223u;
    byte = static_cast<char>(seed >> 24);
  }
  return bytes;
}

// The installer program without a package: every scenario's host.
std::string HostProgram;

std::string Installer(std::vector<PackageRecord> records) {
  PackageLayout layout;
  layout.host = HostProgram;
  layout.key = kPackageKey;
  layout.records = std::move(records);
  return BuildPackage(layout);
}

PackageRecord Manifest(const std::string& text) { return MakeContentRecord("config.txt", text); }

PackageRecord Entry(const std::string& name, const std::string& content) {
  return MakeContentRecord(name, content);
}

struct Scenario {
  explicit Scenario(const std::string& root, const std::string& name)
      : folder(root + "/" + name), game(folder + "/game"), script(name) {}

  void Put(const std::string& relativePath, const std::string& bytes) const {
    WriteBinaryFile(game + "/" + relativePath, bytes);
  }
  std::string Win(const std::string& relativePath) const {
    return WindowsPath(game + "/" + relativePath);
  }
  void PutGame(const std::string& versionFile) const {
    Put("Bin/Vantis.exe", "stands in for the game");
    if (!versionFile.empty()) Put("Bin/version.xml", versionFile);
  }
  void PutInstaller(const std::string& bytes, const std::string& relativePath = "updates/VantisPatch.exe") {
    installer = relativePath;
    Put(installer, bytes);
  }
  ScenarioScript& Launch() { return script.Start(Win(installer)); }

  // The settings file as the player's game left it, copied into place before the run.
  void SeedSettings(const std::string& text) {
    WriteBinaryFile(folder + "/settings-before.ini", text);
    script.Copy(WindowsPath(folder + "/settings-before.ini"), kSettingsFile);
  }
  void SnapshotSettings() { script.Copy(kSettingsFile, WindowsPath(folder + "/settings-after.ini")); }
  std::string SettingsBefore() const { return Read(folder + "/settings-before.ini"); }
  std::string SettingsAfter() const { return Read(folder + "/settings-after.ini"); }

  FileTree GameFiles() const {
    FileTree files = ReadFileTree(game);
    files.erase(installer);
    return files;
  }

  static std::string Read(const std::string& path) {
    std::string bytes;
    ReadBinaryFile(path, bytes);
    return bytes;
  }

  std::string folder;
  std::string game;
  std::string installer;
  FileTree gameBefore;  // taken once the scenario is prepared
  ScenarioScript script;
};

struct BatchRun {
  std::string skipReason;
  std::string setupError;
  std::string root;
  std::string log;
  std::map<std::string, Scenario> scenarios;
  std::vector<Scenario*> playOrder;  // as defined, cheap scenarios first
  std::map<std::string, std::vector<std::string>> transcripts;
};

BatchRun* Batch = nullptr;

// --- The scenarios, in the order the driver plays them --------------------------------

Scenario& NewScenario(const std::string& name) {
  Scenario& s = Batch->scenarios.emplace(name, Scenario(Batch->root, name)).first->second;
  Batch->playOrder.push_back(&s);
  return s;
}

void DefineStartUpFailures() {
  {
    // An interrupted download: the package's second half and its trailer are missing.
    Scenario& s = NewScenario("truncated_installer");
    s.PutGame(VersionFile(1, 0, 4));
    const std::string whole = Installer({Manifest("1.0.5 = 1.0.4\r\n"), Entry("Data/a.dat", "a")});
    s.PutInstaller(whole.substr(0, HostProgram.size() + (whole.size() - HostProgram.size()) / 2));
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
    s.Launch()
        .Dialog({kNotesShown})
        .Click(kInstallButton)
        .Box(kInstallSucceeded, "1", "none")
        .Press(kOk)
        .Exit(0);
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
    s.Launch()
        .Dialog({kNotesShown})
        .Click(kInstallButton)
        .Box(kInstallSucceeded, "1", "none")
        .Press(kOk)
        .Exit(0)
        .Exists(kSettingsFile, false);
  }
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
    s.Launch()
        .Dialog({kNotesShown})
        .Click(kInstallButton)
        .Box(kFolderNotWritable, "2,4", "error")
        .Click(kCloseButton)
        .Box(kAskGiveUp, "6,7", "error")
        .Press(kYes)
        .Dialog({kCancelling, 0, 8, 3, false, false}, "close=disabled")
        .Unlock()
        .Press(kRetry)
        .Exit(0);
    s.SnapshotSettings();
  }
}

void ExpectFiles(const FileTree& actual, const FileTree& expected) {
  std::vector<std::string> actualNames;
  std::vector<std::string> expectedNames;
  for (const auto& file : actual) actualNames.push_back(file.first);
  for (const auto& file : expected) expectedNames.push_back(file.first);
  EXPECT_EQ(actualNames, expectedNames);
  for (const auto& [name, bytes] : expected) {
    const auto found = actual.find(name);
    if (found == actual.end()) continue;
    if (bytes.size() <= 200 && found->second.size() <= 200) {
      EXPECT_EQ(found->second, bytes) << name;
    } else {
      EXPECT_TRUE(found->second == bytes)
          << name << ": " << found->second.size() << " bytes, expected " << bytes.size();
    }
  }
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace

class InstallerEndToEnd : public testing::Test {
 public:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

 protected:
  void SetUp() override {
    if (!Batch->skipReason.empty()) GTEST_SKIP() << Batch->skipReason;
    ASSERT_TRUE(Batch->setupError.empty()) << Batch->setupError;
  }

  static const Scenario& Get(const std::string& name) { return Batch->scenarios.at(name); }

  static void ExpectTranscript(const Scenario& s) {
    const auto found = Batch->transcripts.find(s.script.Name());
    ASSERT_TRUE(found != Batch->transcripts.end())
        << "the driver never played " << s.script.Name() << "; its output:\n" << Batch->log;
    const std::vector<std::string>& actual = found->second;
    const std::vector<std::string>& expected = s.script.ExpectedTranscript();
    size_t line = 0;
    while (line < actual.size() && line < expected.size() && actual[line] == expected[line]) ++line;
    // Printed as text: gtest's own output escapes every Chinese byte.
    EXPECT_TRUE(actual == expected)
        << "the transcript differs from line " << line + 1 << "\n--- got:\n"
        << Joined(actual) << "--- expected:\n" << Joined(expected);
  }

  static void ExpectGameUnchanged(const Scenario& s) { ExpectFiles(s.GameFiles(), s.gameBefore); }
};

void InstallerEndToEnd::SetUpTestSuite() {
  Batch = new BatchRun;
  const char* chosenBuild = std::getenv("VANTIS_WINDOWS_BUILD");
  if (!chosenBuild || !*chosenBuild) chosenBuild = std::getenv("VANTIS_DEFAULT_WINDOWS_BUILD");
  const char* wineRun = std::getenv("VANTIS_WINE_RUN");
  if (!chosenBuild || !wineRun) {
    Batch->skipReason = "VANTIS_DEFAULT_WINDOWS_BUILD and VANTIS_WINE_RUN are unset; run through ctest";
    return;
  }
  const std::string windowsBuild = chosenBuild;
  const std::string installerPath = windowsBuild + "/app/vantis-installer.exe";
  const std::string driverPath = windowsBuild + "/tests/e2e/e2e-driver.exe";
  if (!ReadBinaryFile(installerPath, HostProgram) || !fs::exists(driverPath)) {
    Batch->skipReason = "no Windows build at " + windowsBuild +
                        " (needs app/vantis-installer.exe and tests/e2e/e2e-driver.exe): "
                        "build the win32 or win64 preset first";
    return;
  }

  char rootPattern[] = "/tmp/vantis-e2e-XXXXXX";
  if (!mkdtemp(rootPattern)) {
    Batch->setupError = "cannot create a folder under /tmp";
    return;
  }
  Batch->root = rootPattern;

  DefineStartUpFailures();
  DefineVersionDecisions();
  DefineInstalls();
  DefineLockedTargets();

  std::string commands = "timeout 300\n";
  for (Scenario* scenario : Batch->playOrder) {
    scenario->gameBefore = scenario->GameFiles();
    commands += scenario->script.Commands();
  }
  // The settings file lives in the shared Wine prefix: leave none behind for the next run.
  commands += ScenarioScript("cleanup").Remove(kSettingsRoot).Commands();
  const std::string scenarioFile = Batch->root + "/scenarios.txt";
  const std::string transcriptFile = Batch->root + "/transcript.txt";
  const std::string logFile = Batch->root + "/driver.log";
  WriteBinaryFile(scenarioFile, commands);

  VirtualDisplay display;
  const char* currentDisplay = std::getenv("DISPLAY");
  if (!currentDisplay || !*currentDisplay) {
    std::string error;
    if (!display.Start(error)) {
      Batch->setupError = error;
      return;
    }
  }

  const auto started = std::chrono::steady_clock::now();
  const int status = RunProgram(wineRun, {driverPath, WindowsPath(scenarioFile), WindowsPath(transcriptFile)},
                                display.Name(), logFile);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::steady_clock::now() - started).count();
  std::printf("[ e2e      ] %zu scenarios under Wine in %lld s (driver status %d, folder %s)\n",
              Batch->scenarios.size(), static_cast<long long>(seconds), status, Batch->root.c_str());

  ReadBinaryFile(logFile, Batch->log);
  // wine-run.sh's answer for a program this machine cannot run at all, such as a 32-bit
  // build where 32-bit code cannot execute: a matter of the setup, not of the installer.
  if (status == 126) {
    Batch->skipReason = "Wine cannot run the Windows build at " + windowsBuild + ": " + Batch->log;
    return;
  }
  std::string transcript;
  ReadBinaryFile(transcriptFile, transcript);
  Batch->transcripts = SplitTranscript(transcript);
}

void InstallerEndToEnd::TearDownTestSuite() {
  const testing::TestSuite* suite = testing::UnitTest::GetInstance()->current_test_suite();
  const bool keep = std::getenv("VANTIS_E2E_KEEP") || (suite && suite->Failed());
  if (!Batch->root.empty()) {
    if (keep) {
      std::printf("[ e2e      ] scenario folders kept in %s\n", Batch->root.c_str());
    } else {
      std::error_code ignored;
      fs::remove_all(Batch->root, ignored);
    }
  }
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
  FileTree expected = s.gameBefore;
  expected["Bin/game.dll"] = Noise(20000, 1);
  expected["Bin/empty.cfg"] = "";
  expected["Data/Maps/Deep/level1.map"] = "level one";
  expected["Data/big.pak"] = Noise(1100000, 2);
  expected["Data/config.txt"] = "an ordinary file of the patch";
  expected["Bin/version.xml"] = kVersionFile105;
  ExpectFiles(s.GameFiles(), expected);

  using Profile = std::map<std::string, std::map<std::string, std::string>>;
  EXPECT_EQ(ReadProfileEntries(s.SettingsAfter()),
            (Profile{{"Renderer", {{"AAQuality", "0"}, {"ShadowQuality", "2"}}},
                     {"Audio", {{"Volume", "80"}}}}));
}

TEST_F(InstallerEndToEnd, DamagedEntryStopsTheInstallAndKeepsTheOldFile) {
  const Scenario& s = Get("damaged_entry");
  ExpectTranscript(s);
  FileTree expected = s.gameBefore;
  expected["Bin/a.dat"] = "new a";
  ExpectFiles(s.GameFiles(), expected);
  EXPECT_EQ(s.SettingsAfter(), s.SettingsBefore());
}

TEST_F(InstallerEndToEnd, ManifestOnlyPackageWritesTheVersionFile) {
  const Scenario& s = Get("manifest_only");
  ExpectTranscript(s);
  FileTree expected = s.gameBefore;
  expected["Bin/version.xml"] = kVersionFile105;
  ExpectFiles(s.GameFiles(), expected);
}

// --- A target held open by another program, and giving up --------------------------------

TEST_F(InstallerEndToEnd, RetryAfterTheLockIsReleasedCompletesTheInstall) {
  const Scenario& s = Get("locked_target_retried");
  ExpectTranscript(s);
  FileTree expected = s.gameBefore;
  expected["Data/a.dat"] = "new a";
  expected["Data/locked.dat"] = "new locked";
  expected["Data/z.dat"] = "new z";
  expected["Bin/version.xml"] = kVersionFile105;
  ExpectFiles(s.GameFiles(), expected);
}

TEST_F(InstallerEndToEnd, CancelOnALockedTargetKeepsItAndLeavesNoTemporaryFile) {
  const Scenario& s = Get("locked_target_cancelled");
  ExpectTranscript(s);
  FileTree expected = s.gameBefore;
  expected["Data/a.dat"] = "new a";
  ExpectFiles(s.GameFiles(), expected);
  EXPECT_EQ(s.SettingsAfter(), s.SettingsBefore());
}

TEST_F(InstallerEndToEnd, GivingUpFinishesTheFileInHandAndStops) {
  const Scenario& s = Get("give_up_confirmed");
  ExpectTranscript(s);
  FileTree expected = s.gameBefore;
  expected["Data/a.dat"] = "new a";
  expected["Data/locked.dat"] = "new locked";
  ExpectFiles(s.GameFiles(), expected);
  EXPECT_EQ(s.SettingsAfter(), s.SettingsBefore());
}
