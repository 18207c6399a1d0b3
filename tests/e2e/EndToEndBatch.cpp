#include "EndToEndBatch.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "InstallerExpectations.h"
#include "TranscriptEscape.h"
#include "vantis-pack/commands/BuildInstaller.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr char kCaption[] = "《Vantis》补丁安装包";
constexpr char kPackageKey[] = "end-to-end package key";

// The driver's escaping of texts, applied to the expected texts.
std::string Escape(const std::string& text) { return EscapeTranscriptText(text); }

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Starts `argv[0]` from PATH; stdout and stderr go to `logPath`. 0 when it cannot start.
pid_t Spawn(const std::vector<std::string>& arguments, const std::string& logPath) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed ? 0 : pid;
}

std::string ReadWhole(const std::string& path) {
  std::string bytes;
  ReadBinaryFile(path, bytes);
  return bytes;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace

ScenarioScript& ScenarioScript::Step(const std::string& command, const std::string& expected) {
  commands_.push_back(command);
  if (!expected.empty()) expected_.push_back(expected);
  return *this;
}

ScenarioScript& ScenarioScript::Start(const std::string& program) {
  return Step("start " + program, "");
}

ScenarioScript& ScenarioScript::Box(const std::string& text, const std::string& buttons,
                                    const std::string& icon) {
  return Step("box", "box buttons=" + buttons + " icon=" + icon + " caption=" + kCaption +
                         " text=" + Escape(text));
}

ScenarioScript& ScenarioScript::Press(int buttonId) {
  const std::string line = "press " + std::to_string(buttonId);
  return Step(line, line);
}

ScenarioScript& ScenarioScript::Dialog(const DialogState& state, const std::string& waitFor) {
  const std::string line =
      "dialog progress=" + std::to_string(state.progressLow) + "-" +
      std::to_string(state.progressHigh) + ":" + std::to_string(state.progressPosition) +
      " install=" + (state.installEnabled ? "enabled" : "disabled") +
      " close=" + (state.closeEnabled ? "enabled" : "disabled") + " caption=" + kCaption +
      " notes=" + Escape(state.notes);
  return Step(waitFor.empty() ? "dialog" : "dialog " + waitFor, line);
}

ScenarioScript& ScenarioScript::Click(int controlId) {
  const std::string line = "click " + std::to_string(controlId);
  return Step(line, line);
}

ScenarioScript& ScenarioScript::Lock(const std::string& path) { return Step("lock " + path, ""); }

ScenarioScript& ScenarioScript::LockRead(const std::string& path) {
  return Step("lockread " + path, "");
}

ScenarioScript& ScenarioScript::Unlock() { return Step("unlock", ""); }

ScenarioScript& ScenarioScript::Copy(const std::string& source, const std::string& destination) {
  return Step("copy " + source + "\t" + destination, "");
}

ScenarioScript& ScenarioScript::Move(const std::string& source, const std::string& destination) {
  return Step("move " + source + "\t" + destination, "");
}

ScenarioScript& ScenarioScript::MakeFolder(const std::string& path) {
  return Step("mkdir " + path, "");
}

ScenarioScript& ScenarioScript::Remove(const std::string& path) {
  return Step("remove " + path, "");
}

ScenarioScript& ScenarioScript::Exists(const std::string& path, bool exists) {
  return Step("exists " + path, exists ? "exists yes" : "exists no");
}

ScenarioScript& ScenarioScript::Exit(unsigned exitCode) {
  return Step("exit", "exit " + std::to_string(exitCode));
}

std::string ScenarioScript::Commands() const {
  std::string text = "scenario " + name_ + "\n";
  for (const std::string& command : commands_) text += command + "\n";
  return text + "end\n";
}

std::map<std::string, std::vector<std::string>> SplitTranscript(const std::string& transcript) {
  std::map<std::string, std::vector<std::string>> scenarios;
  std::istringstream lines(transcript);
  std::string line;
  std::vector<std::string>* current = nullptr;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("scenario ", 0) == 0) {
      current = &scenarios[line.substr(9)];
    } else if (line == "end") {
      current = nullptr;
    } else if (current) {
      current->push_back(line);
    }
  }
  return scenarios;
}

VirtualDisplay::~VirtualDisplay() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
}

bool VirtualDisplay::Start(std::string& error) {
  for (int number = 90; number < 200; ++number) {
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    if (fs::exists(socket) || fs::exists("/tmp/.X" + std::to_string(number) + "-lock")) continue;
    const std::string name = ":" + std::to_string(number);
    pid_ = Spawn({"Xvfb", name, "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, "/dev/null");
    if (pid_ == 0) {
      error = "cannot start Xvfb";
      return false;
    }
    for (int waited = 0; waited < 300; ++waited) {
      if (fs::exists(socket)) {
        name_ = name;
        return true;
      }
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) break;  // lost a race for the number
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (kill(pid_, 0) == 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = 0;
  }
  error = "no free display number for Xvfb";
  return false;
}

int RunProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& display, const std::string& logPath) {
  std::vector<std::string> command{program};
  command.insert(command.end(), arguments.begin(), arguments.end());
  const char* previousDisplay = std::getenv("DISPLAY");
  const std::string savedDisplay = previousDisplay ? previousDisplay : "";
  if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
  const pid_t pid = Spawn(command, logPath);
  if (!display.empty()) {
    if (previousDisplay) {
      setenv("DISPLAY", savedDisplay.c_str(), 1);
    } else {
      unsetenv("DISPLAY");
    }
  }
  if (pid == 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string WindowsPath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

void WriteBinaryFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool ReadBinaryFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  bytes = content.str();
  return true;
}

std::map<std::string, std::string> ReadFileTree(const std::string& root) {
  std::map<std::string, std::string> tree;
  if (!fs::is_directory(root)) return tree;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    if (!item.is_regular_file()) continue;
    std::string bytes;
    ReadBinaryFile(item.path().string(), bytes);
    tree[fs::relative(item.path(), root).generic_string()] = bytes;
  }
  return tree;
}

std::map<std::string, std::map<std::string, std::string>> ReadProfileEntries(const std::string& text) {
  std::map<std::string, std::map<std::string, std::string>> entries;
  std::istringstream lines(text);
  std::string line;
  std::string section;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
      entries[section];
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    entries[section][Trim(line.substr(0, equals))] = Trim(line.substr(equals + 1));
  }
  return entries;
}

void Scenario::Put(const std::string& relativePath, const std::string& bytes) const {
  WriteBinaryFile(game + "/" + relativePath, bytes);
}

std::string Scenario::Win(const std::string& relativePath) const {
  return WindowsPath(game + "/" + relativePath);
}

void Scenario::PutGame(const std::string& versionFile) const {
  Put("Bin/Vantis.exe", "stands in for the game");
  if (!versionFile.empty()) Put("Bin/version.xml", versionFile);
}

ScenarioScript& Scenario::LaunchAndGiveUpAtBox(const std::string& box,
                                               const DialogState& cancelling) {
  return Launch()
      .Dialog({kNotesShown})
      .Click(kInstallButton)
      .Box(box, "2,4", "error")
      .Click(kCloseButton)
      .Box(kAskGiveUp, "6,7", "error")
      .Press(kYes)
      .Dialog(cancelling, "close=disabled");
}

ScenarioScript& Scenario::LaunchAndInstall() {
  return Launch()
      .Dialog({kNotesShown})
      .Click(kInstallButton)
      .Box(kInstallSucceeded, "1", "none")
      .Press(kOk)
      .Exit(0);
}

void Scenario::PutInstaller(const std::string& bytes, const std::string& relativePath) {
  installer = relativePath;
  Put(installer, bytes);
}

void Scenario::SeedSettings(const std::string& text) {
  WriteBinaryFile(folder + "/settings-before.ini", text);
  script.Copy(WindowsPath(folder + "/settings-before.ini"), kSettingsFile);
}

void Scenario::SnapshotSettings() {
  script.Copy(kSettingsFile, WindowsPath(folder + "/settings-after.ini"));
}

std::string Scenario::SettingsBefore() const { return ReadWhole(folder + "/settings-before.ini"); }

std::string Scenario::SettingsAfter() const { return ReadWhole(folder + "/settings-after.ini"); }

FileTree Scenario::GameFiles() const {
  FileTree files = ReadFileTree(game);
  files.erase(installer);
  return files;
}

FileTree Scenario::GameBeforeWith(const FileTree& changes) const {
  FileTree files = gameBefore;
  for (const auto& [name, bytes] : changes) files[name] = bytes;
  return files;
}

bool ScenarioBatch::Prepare() {
  const char* chosenBuild = std::getenv("VANTIS_WINDOWS_BUILD");
  if (!chosenBuild || !*chosenBuild) chosenBuild = std::getenv("VANTIS_DEFAULT_WINDOWS_BUILD");
  const char* wineRun = std::getenv("VANTIS_WINE_RUN");
  if (!chosenBuild || !wineRun) {
    skipReason = "VANTIS_DEFAULT_WINDOWS_BUILD and VANTIS_WINE_RUN are unset; run through ctest";
    return false;
  }
  windowsBuild_ = chosenBuild;
  wineRun_ = wineRun;
  driverPath_ = windowsBuild_ + "/tests/e2e/e2e-driver.exe";
  if (!ReadBinaryFile(windowsBuild_ + "/app/vantis-installer.exe", hostProgram) ||
      !fs::exists(driverPath_)) {
    skipReason = "no Windows build at " + windowsBuild_ +
                 " (needs app/vantis-installer.exe and tests/e2e/e2e-driver.exe): "
                 "build the win32 or win64 preset first";
    return false;
  }
  char rootPattern[] = "/tmp/vantis-e2e-XXXXXX";
  if (!mkdtemp(rootPattern)) {
    setupError = "cannot create a folder under /tmp";
    return false;
  }
  root = rootPattern;
  return true;
}

Scenario& ScenarioBatch::Add(const std::string& name) {
  Scenario& scenario = scenarios.emplace(name, Scenario(root, name)).first->second;
  playOrder.push_back(&scenario);
  return scenario;
}

std::string ScenarioBatch::Installer(std::vector<PackageRecord> records) const {
  PackageLayout layout;
  layout.records = std::move(records);
  return Installer(std::move(layout));
}

std::string ScenarioBatch::Installer(PackageLayout layout) const {
  layout.host = hostProgram;
  layout.key = kPackageKey;
  return BuildPackage(layout);
}

void ScenarioBatch::Play(const std::string& label) {
  std::string commands = "timeout 300\n";
  for (Scenario* scenario : playOrder) {
    scenario->gameBefore = scenario->GameFiles();
    commands += scenario->script.Commands();
  }
  // Leave no settings file behind in the shared Wine prefix for the next run.
  commands += ScenarioScript("cleanup").Remove(kSettingsRoot).Commands();
  const std::string scenarioFile = root + "/scenarios.txt";
  const std::string transcriptFile = root + "/transcript.txt";
  const std::string logFile = root + "/driver.log";
  WriteBinaryFile(scenarioFile, commands);

  VirtualDisplay display;
  const char* currentDisplay = std::getenv("DISPLAY");
  if (!currentDisplay || !*currentDisplay) {
    std::string error;
    if (!display.Start(error)) {
      setupError = error;
      return;
    }
  }

  const auto started = std::chrono::steady_clock::now();
  const int status = RunProgram(
      wineRun_, {driverPath_, WindowsPath(scenarioFile), WindowsPath(transcriptFile)},
      display.Name(), logFile);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::steady_clock::now() - started).count();
  std::printf("[ e2e      ] %s: %zu scenarios under Wine in %lld s (driver status %d, folder %s)\n",
              label.c_str(), scenarios.size(), static_cast<long long>(seconds), status,
              root.c_str());

  ReadBinaryFile(logFile, log);
  // wine-run.sh's answer for a program this machine cannot run at all, such as a 32-bit
  // build where 32-bit code cannot execute: a matter of the setup, not of the installer.
  if (status == 126) {
    skipReason = "Wine cannot run the Windows build at " + windowsBuild_ + ": " + log;
    return;
  }
  if (status == 3) {
    setupError = "Wine could not create a window. Another program in the Wine prefix that "
                 "runs without a display (Windows unit tests?) holds the desktop; run again "
                 "once it has ended. " + log;
    return;
  }
  transcripts = SplitTranscript(ReadWhole(transcriptFile));
}

void ScenarioBatch::Finish(bool keep) {
  if (root.empty()) return;
  if (keep || std::getenv("VANTIS_E2E_KEEP")) {
    std::printf("[ e2e      ] scenario folders kept in %s\n", root.c_str());
    return;
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

void RequireBatch(const ScenarioBatch& batch) {
  if (!batch.skipReason.empty()) GTEST_SKIP() << batch.skipReason;
  ASSERT_TRUE(batch.setupError.empty()) << batch.setupError;
}

bool CurrentSuiteFailed() {
  const testing::TestSuite* suite = testing::UnitTest::GetInstance()->current_test_suite();
  return suite && suite->Failed();
}

void ExpectTranscript(const ScenarioBatch& batch, const Scenario& scenario) {
  const auto found = batch.transcripts.find(scenario.script.Name());
  ASSERT_TRUE(found != batch.transcripts.end())
      << "the driver never played " << scenario.script.Name() << "; its output:\n" << batch.log;
  const std::vector<std::string>& actual = found->second;
  const std::vector<std::string>& expected = scenario.script.ExpectedTranscript();
  size_t line = 0;
  while (line < actual.size() && line < expected.size() && actual[line] == expected[line]) ++line;
  EXPECT_TRUE(actual == expected)
      << "the transcript differs from line " << line + 1 << "\n--- got:\n"
      << Joined(actual) << "--- expected:\n" << Joined(expected);
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

bool BuildWithPacker(ScenarioBatch& batch, const std::string& folder, const FileTree& files,
                     std::string& built) {
  for (const auto& [name, content] : files) WriteBinaryFile(folder + "/patch/" + name, content);
  WriteBinaryFile(folder + "/stub.exe", batch.hostProgram);
  BuildOptions options;
  options.sourceFolder = folder + "/patch";
  options.outputPath = folder + "/built.exe";
  options.stubPath = folder + "/stub.exe";
  std::ostringstream out, err;
  CommandOutput output{out, err};
  std::string error;
  if (!BuildInstaller(options, output, error) || !ReadBinaryFile(folder + "/built.exe", built)) {
    batch.setupError = "build: " + error;
    return false;
  }
  return true;
}
