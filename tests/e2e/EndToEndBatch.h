#pragma once
// The native half of the end-to-end tests: scripts for the Windows driver (E2eDriver_win.cpp,
// which documents the command and transcript format) together with the transcript each
// script must produce, a virtual display, one run of the driver under Wine, and files.

#include <map>
#include <string>
#include <vector>

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
  ScenarioScript& Unlock();
  ScenarioScript& Copy(const std::string& source, const std::string& destination);
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
