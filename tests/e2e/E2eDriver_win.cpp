// The end-to-end driver: plays a batch of scenarios against the real installer inside one
// Windows process, because under Wine every new process is expensive. It starts one
// installer per scenario, watches its windows as a user would, presses their buttons and
// writes what it saw to a transcript that the native tests compare line by line.
//
// Usage: e2e-driver SCENARIO_FILE TRANSCRIPT_FILE
//
// Exit status 0 once every scenario has been played, 2 for bad arguments, 3 when this Wine
// session cannot create windows at all (see CanCreateWindows).
//
// Scenario file: UTF-8, one command per line, the argument being the rest of the line after
// one space; the two paths of "copy" are separated by a tab. "%LOCALAPPDATA%" in a path
// stands for the user's local application data folder.
//
//   timeout SECONDS   every later wait gives up after this long (default 300)
//   scenario NAME     begins a scenario                      -> "scenario NAME"
//   start PATH        starts the installer PATH, in its own folder
//   box               waits for a message box not reported before
//                       -> "box buttons=2,4 icon=error caption=TEXT text=TEXT"
//   press ID          presses button ID of the latest reported box still open and waits
//                     until that box has gone                -> "press ID"
//   dialog [COND...]  waits for the install dialog, and for each COND (install=enabled,
//                     install=disabled, close=enabled, close=disabled, progress>=N) to hold
//                       -> "dialog progress=LOW-HIGH:POS install=enabled close=enabled
//                           caption=TEXT notes=TEXT" (one line)
//   click ID          clicks control ID of the install dialog -> "click ID"
//   screenshot PATH   saves the install dialog as shown, as a BMP file -> "screenshot"
//   lock PATH         opens an existing file with no sharing and holds it
//   lockread PATH     the same, but asking to read only: a running program refuses write
//                     access, yet a reader that shares nothing still keeps others out
//   unlock            releases every held file
//   copy SRC<TAB>DST  copies a file, creating DST's folders
//   move SRC<TAB>DST  renames a file; a running program can be renamed, not deleted
//   mkdir PATH        creates a folder and its parents
//   remove PATH       removes a file or a folder tree; a missing one is fine
//   exists PATH       -> "exists yes" or "exists no"; * and ? in PATH's last name match
//                     any name, as the installer's temporary files have random names
//   exit              waits for the installer to end           -> "exit CODE"
//   end               ends the scenario, killing an installer still running ("killed"),
//                     releasing held files                     -> "end"
//
// TEXT has "\" "\r" "\n" "\t" escaped with a backslash and other control characters as
// "\xHH". Helpers print only when they fail ("lock failed error=32"). A wait that cannot be
// met prints what happened instead ("unexpected box ...", "unexpected exit CODE", "timeout
// waiting for ...") and the scenario's commands up to "end" are skipped, so one broken
// scenario costs one timeout at most and never stalls the batch.

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "InstallerWindows_win.h"
#include "TranscriptEscape.h"

namespace {

constexpr DWORD kPollMs = 100;
constexpr DWORD kDefaultTimeoutMs = 300000;
constexpr char kLocalAppData[] = "%LOCALAPPDATA%";

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], length,
                      nullptr, nullptr);
  return utf8;
}

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

std::string Escape(const std::wstring& text) { return EscapeTranscriptText(ToUtf8(text)); }

std::string DescribeBox(const MessageBoxView& box) {
  std::string buttons;
  for (int id : box.buttonIds) buttons += (buttons.empty() ? "" : ",") + std::to_string(id);
  return "box buttons=" + buttons + " icon=" + box.icon + " caption=" + Escape(box.caption) +
         " text=" + Escape(box.text);
}

std::string DescribeDialog(const InstallDialogView& dialog) {
  return "dialog progress=" + std::to_string(dialog.progressLow) + "-" +
         std::to_string(dialog.progressHigh) + ":" + std::to_string(dialog.progressPosition) +
         " install=" + (dialog.installEnabled ? "enabled" : "disabled") +
         " close=" + (dialog.closeEnabled ? "enabled" : "disabled") +
         " caption=" + Escape(dialog.caption) + " notes=" + Escape(dialog.notes);
}

bool DialogMeets(const InstallDialogView& dialog, const std::vector<std::string>& conditions) {
  static const std::string kProgressAtLeast = "progress>=";
  for (const std::string& condition : conditions) {
    if (condition.rfind(kProgressAtLeast, 0) == 0) {
      if (dialog.progressPosition < std::stoi(condition.substr(kProgressAtLeast.size()))) {
        return false;
      }
      continue;
    }
    const bool met = (condition == "install=enabled" && dialog.installEnabled) ||
                     (condition == "install=disabled" && !dialog.installEnabled) ||
                     (condition == "close=enabled" && dialog.closeEnabled) ||
                     (condition == "close=disabled" && !dialog.closeEnabled);
    if (!met) return false;
  }
  return true;
}

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) words.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

std::string ErrorText(const char* what) {
  return std::string(what) + " failed error=" + std::to_string(GetLastError());
}

void CreateParentFolders(const std::wstring& path) {
  for (size_t slash = path.find(L'\\', 3); slash != std::wstring::npos;
       slash = path.find(L'\\', slash + 1)) {
    CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
  }
}

bool CreateFolders(const std::wstring& path) {
  CreateParentFolders(path);
  return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool RemoveTree(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileW(path.c_str()) != FALSE;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  return RemoveDirectoryW(path.c_str()) != FALSE;
}

class Transcript {
 public:
  explicit Transcript(std::FILE* file) : file_(file) {}
  void Line(const std::string& line) {
    std::fprintf(file_, "%s\n", line.c_str());
    std::fflush(file_);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }

 private:
  std::FILE* file_;
};

class Driver {
 public:
  Driver(Transcript& transcript, std::string localAppData)
      : transcript_(transcript), localAppData_(std::move(localAppData)) {}
  ~Driver() { EndScenario(); }
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  void Execute(const std::string& command, const std::string& argument) {
    if (command == "scenario") return BeginScenario(argument);
    if (command == "end") return EndScenario();
    if (skipping_) return;
    if (command == "timeout") {
      timeoutMs_ = static_cast<DWORD>(std::stoul(argument)) * 1000;
    } else if (command == "start") {
      Start(argument);
    } else if (command == "box") {
      AwaitBox();
    } else if (command == "press") {
      Press(std::stoi(argument));
    } else if (command == "dialog") {
      AwaitDialog(SplitWords(argument));
    } else if (command == "click") {
      Click(std::stoi(argument));
    } else if (command == "screenshot") {
      Screenshot(argument);
    } else if (command == "lock") {
      Lock(argument, GENERIC_READ | GENERIC_WRITE);
    } else if (command == "lockread") {
      Lock(argument, GENERIC_READ);
    } else if (command == "unlock") {
      ReleaseHeldFiles();
    } else if (command == "copy") {
      Copy(argument);
    } else if (command == "move") {
      Move(argument);
    } else if (command == "mkdir") {
      if (!CreateFolders(ExpandPath(argument))) Abort(ErrorText("mkdir"));
    } else if (command == "remove") {
      if (!RemoveTree(ExpandPath(argument))) Abort(ErrorText("remove"));
    } else if (command == "exists") {
      const std::wstring path = ExpandPath(argument);
      bool exists = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
      WIN32_FIND_DATAW found;
      const HANDLE search = exists ? INVALID_HANDLE_VALUE : FindFirstFileW(path.c_str(), &found);
      if (search != INVALID_HANDLE_VALUE) {
        exists = true;
        FindClose(search);
      }
      transcript_.Line(exists ? "exists yes" : "exists no");
    } else if (command == "exit") {
      AwaitExit();
    } else {
      Abort("unknown command " + command);
    }
  }

 private:
  enum class Outcome { kMet, kExited, kUnexpectedBox, kTimedOut };

  std::wstring ExpandPath(const std::string& path) const {
    std::string expanded = path;
    const size_t at = expanded.find(kLocalAppData);
    if (at != std::string::npos) expanded.replace(at, sizeof kLocalAppData - 1, localAppData_);
    return FromUtf8(expanded);
  }

  void Abort(const std::string& line) {
    transcript_.Line(line);
    skipping_ = true;
  }

  bool Running() const {
    return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
  }

  DWORD ExitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

  HWND UnreportedBox() const {
    for (HWND box : FindMessageBoxes(process_.dwProcessId)) {
      if (!reportedBoxes_.count(box)) return box;
    }
    return nullptr;
  }

  // Polls `met` until it holds, the installer ends, or the timeout passes. With
  // `watchBoxes`, a message box that nobody is waiting for ends the wait as well.
  template <typename Condition>
  Outcome Wait(Condition met, bool watchBoxes, HWND& unexpectedBox) {
    const DWORD start = GetTickCount();
    for (;;) {
      if (met()) return Outcome::kMet;
      if (!Running()) return met() ? Outcome::kMet : Outcome::kExited;
      if (watchBoxes && (unexpectedBox = UnreportedBox()) != nullptr) {
        return Outcome::kUnexpectedBox;
      }
      if (GetTickCount() - start >= timeoutMs_) return Outcome::kTimedOut;
      Sleep(kPollMs);
    }
  }

  void ReportFailedWait(Outcome outcome, HWND unexpectedBox, const std::string& what) {
    switch (outcome) {
      case Outcome::kMet:
        return;
      case Outcome::kExited:
        return Abort("unexpected exit " + std::to_string(ExitCode()));
      case Outcome::kUnexpectedBox: {
        reportedBoxes_.insert(unexpectedBox);
        MessageBoxView view;
        return Abort(ReadMessageBox(unexpectedBox, view) ? "unexpected " + DescribeBox(view)
                                                         : "unexpected unreadable box");
      }
      case Outcome::kTimedOut:
        return Abort("timeout waiting for " + what);
    }
  }

  void BeginScenario(const std::string& name) {
    EndScenario();
    transcript_.Line("scenario " + name);
    scenarioName_ = name;
    scenarioStart_ = GetTickCount();
  }

  void EndScenario() {
    if (scenarioName_.empty()) return;
    if (Running()) {
      TerminateProcess(process_.hProcess, 255);
      WaitForSingleObject(process_.hProcess, 30000);
      transcript_.Line("killed");
    }
    if (process_.hProcess) CloseHandle(process_.hProcess);
    if (process_.hThread) CloseHandle(process_.hThread);
    process_ = PROCESS_INFORMATION{};
    ReleaseHeldFiles();
    reportedBoxes_.clear();
    openBoxes_.clear();
    skipping_ = false;
    transcript_.Line("end");
    std::fprintf(stderr, "[%s: %lu s]\n", scenarioName_.c_str(),
                 (GetTickCount() - scenarioStart_) / 1000);
    scenarioName_.clear();
  }

  void Start(const std::string& path) {
    const std::wstring program = ExpandPath(path);
    std::wstring commandLine = L"\"" + program + L"\"";
    const std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process_)) {
      process_ = PROCESS_INFORMATION{};
      Abort(ErrorText("start"));
    }
  }

  void AwaitBox() {
    HWND box = nullptr;
    HWND unused = nullptr;
    const Outcome outcome = Wait([&] { return (box = UnreportedBox()) != nullptr; }, false, unused);
    if (outcome != Outcome::kMet) return ReportFailedWait(outcome, nullptr, "box");
    reportedBoxes_.insert(box);
    MessageBoxView view;
    if (!ReadMessageBox(box, view)) return Abort("box unreadable");
    openBoxes_.push_back(box);
    transcript_.Line(DescribeBox(view));
  }

  void Press(int buttonId) {
    while (!openBoxes_.empty() && !IsWindow(openBoxes_.back())) openBoxes_.pop_back();
    if (openBoxes_.empty()) return Abort("press " + std::to_string(buttonId) + ": no open box");
    HWND box = openBoxes_.back();
    HWND button = GetDlgItem(box, buttonId);
    if (!button || !IsWindowVisible(button)) {
      return Abort("press " + std::to_string(buttonId) + ": no such button");
    }
    PostButtonClick(box, buttonId);
    transcript_.Line("press " + std::to_string(buttonId));
    HWND unused = nullptr;
    const Outcome outcome = Wait([&] { return !IsWindow(box); }, false, unused);
    openBoxes_.pop_back();
    ReportFailedWait(outcome, nullptr, "the box to close");
  }

  void AwaitDialog(const std::vector<std::string>& conditions) {
    InstallDialogView view;
    bool seen = false;
    HWND unexpectedBox = nullptr;
    const Outcome outcome = Wait(
        [&] {
          HWND dialog = FindInstallDialog(process_.dwProcessId);
          seen = dialog && ReadInstallDialog(dialog, view);
          return seen && DialogMeets(view, conditions);
        },
        true, unexpectedBox);
    if (outcome == Outcome::kMet) return transcript_.Line(DescribeDialog(view));
    std::string what = "dialog";
    for (const std::string& condition : conditions) what += " " + condition;
    if (seen) what += "; last " + DescribeDialog(view);
    ReportFailedWait(outcome, unexpectedBox, what);
  }

  void Click(int controlId) {
    HWND dialog = FindInstallDialog(process_.dwProcessId);
    if (!dialog) return Abort("click " + std::to_string(controlId) + ": no dialog");
    HWND control = GetDlgItem(dialog, controlId);
    if (!control || !IsWindowVisible(control)) {
      return Abort("click " + std::to_string(controlId) + ": no such control");
    }
    PostButtonClick(dialog, controlId);
    transcript_.Line("click " + std::to_string(controlId));
  }

  void Screenshot(const std::string& path) {
    HWND dialog = FindInstallDialog(process_.dwProcessId);
    if (!dialog || !SaveWindowImage(dialog, ExpandPath(path))) return Abort("screenshot failed");
    transcript_.Line("screenshot");
  }

  void AwaitExit() {
    HWND unexpectedBox = nullptr;
    const Outcome outcome = Wait([&] { return !Running(); }, true, unexpectedBox);
    if (outcome != Outcome::kMet) return ReportFailedWait(outcome, unexpectedBox, "exit");
    transcript_.Line("exit " + std::to_string(ExitCode()));
  }

  void Lock(const std::string& path, DWORD access) {
    HANDLE file = CreateFileW(ExpandPath(path).c_str(), access, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Abort(ErrorText("lock"));
    heldFiles_.push_back(file);
  }

  void ReleaseHeldFiles() {
    for (HANDLE file : heldFiles_) CloseHandle(file);
    heldFiles_.clear();
  }

  void Copy(const std::string& argument) {
    const size_t tab = argument.find('\t');
    if (tab == std::string::npos) return Abort("copy needs SOURCE<TAB>DESTINATION");
    const std::wstring destination = ExpandPath(argument.substr(tab + 1));
    CreateParentFolders(destination);
    if (!CopyFileW(ExpandPath(argument.substr(0, tab)).c_str(), destination.c_str(), FALSE)) {
      Abort(ErrorText("copy"));
    }
  }

  void Move(const std::string& argument) {
    const size_t tab = argument.find('\t');
    if (tab == std::string::npos) return Abort("move needs SOURCE<TAB>DESTINATION");
    if (!MoveFileW(ExpandPath(argument.substr(0, tab)).c_str(),
                   ExpandPath(argument.substr(tab + 1)).c_str())) {
      Abort(ErrorText("move"));
    }
  }

  Transcript& transcript_;
  const std::string localAppData_;
  DWORD timeoutMs_ = kDefaultTimeoutMs;

  std::string scenarioName_;
  DWORD scenarioStart_ = 0;
  bool skipping_ = false;
  PROCESS_INFORMATION process_ = {};
  std::set<HWND> reportedBoxes_;
  std::vector<HWND> openBoxes_;  // reported and not yet pressed, oldest first
  std::vector<HANDLE> heldFiles_;
};

bool ReadLines(const char* path, std::vector<std::string>& lines) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  std::string text;
  char buffer[4096];
  size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, count);
  std::fclose(file);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return true;
}

// Wine shares one desktop among all programs of a prefix. When the first of them ran
// without a display (Windows unit tests, say) and is still running, that desktop has no
// graphics driver: every window fails, and each installer would end at once with exit
// code 0 as if its dialog had been closed.
bool CanCreateWindows() {
  HWND probe = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                               nullptr);
  if (!probe) return false;
  DestroyWindow(probe);
  return true;
}

std::string LocalAppDataFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) {
    return std::string();
  }
  return ToUtf8(path);
}

}  // namespace

int main(int argc, char** argv) {
  // Inherited by the installers: a crash must end the process, not wait on a crash dialog
  // that nobody will press.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  if (argc != 3) {
    std::fprintf(stderr, "usage: e2e-driver SCENARIO_FILE TRANSCRIPT_FILE\n");
    return 2;
  }
  std::vector<std::string> lines;
  if (!ReadLines(argv[1], lines)) {
    std::fprintf(stderr, "e2e-driver: cannot read %s\n", argv[1]);
    return 2;
  }
  std::FILE* output = std::fopen(argv[2], "wb");
  if (!output) {
    std::fprintf(stderr, "e2e-driver: cannot write %s\n", argv[2]);
    return 2;
  }
  Transcript transcript(output);
  if (!CanCreateWindows()) {
    transcript.Line(ErrorText("creating a window"));
    std::fclose(output);
    return 3;
  }
  const std::string localAppData = LocalAppDataFolder();
  transcript.Line("localappdata " + localAppData);
  {
    Driver driver(transcript, localAppData);
    for (const std::string& line : lines) {
      const size_t space = line.find(' ');
      driver.Execute(line.substr(0, space),
                     space == std::string::npos ? std::string() : line.substr(space + 1));
    }
  }
  std::fclose(output);
  return 0;
}
