#pragma once
// The native half of the end-to-end tests: scripts for the Windows driver (E2eDriver_win.cpp,
// which documents the command and transcript format) together with the transcript each
// script must produce, scenarios with their own game folders, a virtual display, one run
// of the driver under Wine for a whole batch, and files.

#include <map>
#include <string>
#include <vector>

#include "support/PackageFixture.h"

using FileTree = std::map<std::string, std::string>;

// The renderer settings live in the Wine prefix, which every run shares.
inline constexpr char kSettingsRoot[] = "%LOCALAPPDATA%\\Pellory Games";
inline constexpr char kSettingsFolder[] = "%LOCALAPPDATA%\\Pellory Games\\Vantis\\Config";
inline constexpr char kSettingsFile[] =
    "%LOCALAPPDATA%\\Pellory Games\\Vantis\\Config\\config.ini";

// What the install dialog shows at one moment.
struct DialogState {
  std::string notes;  // UTF-8
  int progressLow = 0;
  int progressHigh = 100;
  int progressPosition = 0;
  bool installEnabled = true;
  bool closeEnabled = true;
};

// A scenario's driver commands and, line by line, the transcript they must produce. Texts
// are UTF-8; paths are Windows paths.
class ScenarioScript {
 public:
  explicit ScenarioScript(std::string name) : name_(std::move(name)) {}

  ScenarioScript& Start(const std::string& program);
  ScenarioScript& Box(const std::string& text, const std::string& buttons, const std::string& icon);
  ScenarioScript& Press(int buttonId);
  // `waitFor` (driver conditions such as "close=disabled") lets the state settle first.
  ScenarioScript& Dialog(const DialogState& state, const std::string& waitFor = std::string());
  ScenarioScript& Click(int controlId);
  ScenarioScript& Lock(const std::string& path);
  ScenarioScript& LockRead(const std::string& path);
  ScenarioScript& Unlock();
  ScenarioScript& Copy(const std::string& source, const std::string& destination);
  ScenarioScript& Move(const std::string& source, const std::string& destination);
  ScenarioScript& MakeFolder(const std::string& path);
  ScenarioScript& Remove(const std::string& path);
  ScenarioScript& Exists(const std::string& path, bool exists);
  ScenarioScript& Exit(unsigned exitCode);

  const std::string& Name() const { return name_; }
  // From "scenario NAME" to "end".
  std::string Commands() const;
  // The lines between "scenario NAME" and "end".
  const std::vector<std::string>& ExpectedTranscript() const { return expected_; }

 private:
  ScenarioScript& Step(const std::string& command, const std::string& expected);

  std::string name_;
  std::vector<std::string> commands_;
  std::vector<std::string> expected_;
};

// The transcript's lines per scenario name, "scenario" and "end" lines left out.
std::map<std::string, std::vector<std::string>> SplitTranscript(const std::string& transcript);

// An Xvfb server on a free display number, stopped by its process id on destruction.
class VirtualDisplay {
 public:
  VirtualDisplay() = default;
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  bool Start(std::string& error);
  const std::string& Name() const { return name_; }

 private:
  int pid_ = 0;
  std::string name_;
};

// Runs `program` with `arguments`, standard output and error going to `logPath`, with
// DISPLAY set to `display` when that is not empty. Returns the exit status, or -1 when the
// program could not be run.
int RunProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& display, const std::string& logPath);

// Wine maps drive Z: to the Unix root.
std::string WindowsPath(const std::string& unixPath);

void WriteBinaryFile(const std::string& path, const std::string& bytes);  // creates folders
bool ReadBinaryFile(const std::string& path, std::string& bytes);
// Every regular file below `root`, by its relative path with "/", with its bytes.
std::map<std::string, std::string> ReadFileTree(const std::string& root);

// A profile file's entries: section -> key -> value; comments and blank lines ignored.
std::map<std::string, std::map<std::string, std::string>> ReadProfileEntries(const std::string& text);

inline PackageRecord Manifest(const std::string& text) {
  return MakeContentRecord("config.txt", text);
}

inline PackageRecord Entry(const std::string& name, const std::string& content) {
  return MakeContentRecord(name, content);
}

// One scenario: a folder of its own below the batch's root, holding the game folder with
// the installer inside it, and the script the driver plays.
struct Scenario {
  Scenario(const std::string& root, const std::string& name)
      : folder(root + "/" + name), game(folder + "/game"), script(name) {}

  void Put(const std::string& relativePath, const std::string& bytes) const;
  std::string Win(const std::string& relativePath) const;
  // Bin/Vantis.exe, and Bin/version.xml unless `versionFile` is empty.
  void PutGame(const std::string& versionFile) const;
  void PutInstaller(const std::string& bytes,
                    const std::string& relativePath = "updates/VantisPatch.exe");
  ScenarioScript& Launch() { return script.Start(Win(installer)); }
  // Launch, Install, the success message and OK, ending with exit code 0: a complete install
  // with no question on the way. Further steps can follow.
  ScenarioScript& LaunchAndInstall();
  // Launch, Install, `box` (Retry and Cancel) at the first entry it stops at, Close, and
  // Yes to giving up: the dialog then shows `cancelling` with Close disabled, the box still
  // open. Further steps answer it.
  ScenarioScript& LaunchAndGiveUpAtBox(const std::string& box, const DialogState& cancelling);

  // The settings file as the player's game left it, copied into place before the run.
  void SeedSettings(const std::string& text);
  void SnapshotSettings();
  std::string SettingsBefore() const;
  std::string SettingsAfter() const;

  // The game folder's files, the installer left out.
  FileTree GameFiles() const;
  // The game folder as it was before the run, with `changes` written over it.
  FileTree GameBeforeWith(const FileTree& changes) const;

  std::string folder;
  std::string game;
  std::string installer;  // relative to `game`
  FileTree gameBefore;    // taken when the batch is played
  ScenarioScript script;
};

// Scenarios played by one run of the driver under Wine: every new Wine process is slow
// (minutes under emulation), so the driver plays them all in a row.
struct ScenarioBatch {
  // Finds the Windows build (VANTIS_WINDOWS_BUILD, else VANTIS_DEFAULT_WINDOWS_BUILD) and
  // the Wine runner (VANTIS_WINE_RUN), reads the installer program and makes the root
  // folder. On false, skipReason or setupError says why.
  bool Prepare();
  // Scenarios are played in the order they are added.
  Scenario& Add(const std::string& name);
  // The installer program with a package of `records` appended.
  std::string Installer(std::vector<PackageRecord> records) const;
  // The same with the layout's other options; its host and key are the batch's.
  std::string Installer(PackageLayout layout) const;
  // Snapshots every game folder, then plays every scenario; `label` names the batch in
  // what it prints.
  void Play(const std::string& label);
  // Removes the root folder, unless `keep` or VANTIS_E2E_KEEP is set.
  void Finish(bool keep);
  // The Windows build folder that Prepare found.
  const std::string& WindowsBuild() const { return windowsBuild_; }

  std::string skipReason;  // the batch cannot run on this machine: its tests skip
  std::string setupError;  // it should run but could not be set up: its tests fail
  std::string root;
  std::string hostProgram;  // the installer program without a package
  std::string log;          // the driver's output
  std::map<std::string, Scenario> scenarios;
  std::vector<Scenario*> playOrder;
  std::map<std::string, std::vector<std::string>> transcripts;

 private:
  std::string windowsBuild_;
  std::string driverPath_;
  std::string wineRun_;
};

// An installer made by vantis-pack's build, in the publisher's folder `folder`: `files`
// (config.txt among them) packed onto the batch's installer program. Its bytes go to
// `built`; on failure the batch's setupError says why.
bool BuildWithPacker(ScenarioBatch& batch, const std::string& folder, const FileTree& files,
                     std::string& built);

// For a suite's SetUp: skips the test when its batch cannot run on this machine, and fails
// it when the batch should have run but could not be set up.
void RequireBatch(const ScenarioBatch& batch);
// For a suite's TearDownTestSuite: whether a test of the suite failed, so that its scenario
// folders are kept for a look.
bool CurrentSuiteFailed();

// GoogleTest checks shared by the suites. The transcript is compared line by line and,
// on a difference, printed as text: gtest's own output escapes every Chinese byte.
void ExpectTranscript(const ScenarioBatch& batch, const Scenario& scenario);
// The same file names, each with the same bytes.
void ExpectFiles(const FileTree& actual, const FileTree& expected);
