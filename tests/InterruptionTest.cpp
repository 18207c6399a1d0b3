// However a run of vantis-pack ends, even killed outright, it leaves no temporary file that
// lives on: none stays in its output's folder, and none gets packed.

#include <gtest/gtest.h>

#include "PackTestSupport.h"
#include "package/format/EntryStream.h"
#include "vantis-pack/host/Interruption.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

using namespace packtest;

namespace {

#ifndef _WIN32

// A progress terminal that raises its signal at the first draw: the command is then in the
// middle of writing, with its temporary file open, at the same point on every run.
ssize_t RaiseOnWrite(void* signalNumber, const char*, size_t length) {
  std::raise(*static_cast<int*>(signalNumber));
  return static_cast<ssize_t>(length);
}

// The wait status of `command` run in a child process, as the program runs it, and
// interrupted by `signalNumber` from within; an exit status of 0 if the signal never came.
template <typename Command>
int WaitStatusWhenSignalled(int signalNumber, Command command) {
  const pid_t child = fork();
  if (child == 0) {
    InstallInterruptionCleanup();
    cookie_io_functions_t functions{};
    functions.write = RaiseOnWrite;
    std::ostringstream ignored;
    CommandOutput output{ignored, ignored, fopencookie(&signalNumber, "w", functions)};
    std::string error;
    command(output, error);
    _exit(0);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return -1;
  return status;
}

template <typename Command>
int StatusWhenInterrupted(int signalNumber, Command command) {
  const int status = WaitStatusWhenSignalled(signalNumber, command);
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PackerInterruption, SigintAndSigtermRemoveTheTemporaryFile) {
  Workspace work;
  work.Add("config.txt", "1.0.5 = 1.0.4\n");
  work.Add("Data/a.bin", Pattern(3 * kEntryStoredLimit, 1));
  EXPECT_EQ(StatusWhenInterrupted(SIGINT, [&work](CommandOutput& output, std::string& error) {
              return BuildInstaller(work.Options(), output, error);
            }),
            130);
  EXPECT_TRUE(FolderListing(work.output.parent_path()).empty());

  ASSERT_TRUE(Build(work.Options()).ok);
  const fs::path folder = work.folder.Path() / "extracted";
  EXPECT_EQ(StatusWhenInterrupted(SIGTERM, [&](CommandOutput& output, std::string& error) {
              return ExtractInstaller(work.output, folder, output, error);
            }),
            143);
  EXPECT_EQ(FolderListing(folder), std::vector<std::string>{"Data"});
}

// With an installer program that reads compressed entries, build makes their forms in a
// folder of the temporary folder first; the interruption, at the first draw of the bar,
// comes once the first form is there.
TEST(PackerInterruption, SigintRemovesTheCompressedFormsToo) {
  Workspace work;
  ProgramShape shape;
  shape.entryKinds = "compressed delta";
  WriteFile(work.stub, MakeProgram(shape));
  work.Add("config.txt", "1.0.5 = 1.0.4\n");
  work.Add("Data/a.txt", std::string(3 * kEntryStoredLimit, 'a'));
  const fs::path temporary = work.folder.Path() / "tmp";
  fs::create_directories(temporary);
  EXPECT_EQ(StatusWhenInterrupted(SIGINT, [&](CommandOutput& output, std::string& error) {
              setenv("TMPDIR", temporary.c_str(), 1);
              return BuildInstaller(work.Options(), output, error);
            }),
            130);
  EXPECT_TRUE(FolderListing(temporary).empty());
  EXPECT_TRUE(FolderListing(work.output.parent_path()).empty());
}

// SIGKILL runs no handler: only a file that never had a name is sure to go with the process.
TEST(PackerInterruption, AKilledBuildOrExtractLeavesNothingBehind) {
  Workspace work;
  work.Add("config.txt", "1.0.5 = 1.0.4\n");
  work.Add("Data/a.bin", Pattern(3 * kEntryStoredLimit, 1));
  const int killed = WaitStatusWhenSignalled(SIGKILL, [&work](CommandOutput& output,
                                                              std::string& error) {
    return BuildInstaller(work.Options(), output, error);
  });
  EXPECT_TRUE(WIFSIGNALED(killed) && WTERMSIG(killed) == SIGKILL);
  EXPECT_TRUE(FolderListing(work.output.parent_path()).empty());

  ASSERT_TRUE(Build(work.Options()).ok);
  const fs::path folder = work.folder.Path() / "extracted";
  WaitStatusWhenSignalled(SIGKILL, [&](CommandOutput& output, std::string& error) {
    return ExtractInstaller(work.output, folder, output, error);
  });
  EXPECT_EQ(FolderListing(folder), std::vector<std::string>{"Data"});
}

#endif

// Another vantis-pack at work: its temporary file is held open as the tool holds its own.
class RunningTemporaryFile {
 public:
  explicit RunningTemporaryFile(const fs::path& path) {
#ifdef _WIN32
    handle_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
#else
    descriptor_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor_ >= 0) ::flock(descriptor_, LOCK_EX | LOCK_NB);
#endif
  }
  ~RunningTemporaryFile() {
#ifdef _WIN32
    CloseHandle(handle_);
#else
    ::close(descriptor_);
#endif
  }
  RunningTemporaryFile(const RunningTemporaryFile&) = delete;
  RunningTemporaryFile& operator=(const RunningTemporaryFile&) = delete;

 private:
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int descriptor_ = -1;
#endif
};

// Leftovers of a run that was killed where no unnamed file could be made: the next run
// removes them from the folders it writes to, but not a file another run is writing, and
// build never packs them.
TEST(PackerTemporaryFiles, LeftoversAreRemovedByTheNextRunAndNeverPacked) {
  Workspace work;
  work.Add("config.txt", "1.0.5 = 1.0.4\n");
  work.Add("Data/a.bin", "a");
  work.Add("Data/.~vantis-pack-0123abcd", "left by a killed extract");
  work.Add("Data/big.bin.~vantis-pack", "left by an older vantis-pack");
  const fs::path outputFolder = work.output.parent_path();
  WriteFile(outputFolder / ".~vantis-pack-89abcdef", "left by a killed build");
  WriteFile(outputFolder / "installer.exe.~vantis-pack7", "not ours to judge");
  {
    RunningTemporaryFile running(outputFolder / ".~vantis-pack-fedcba98");
    const Outcome built = Build(work.Options());
    ASSERT_TRUE(built.ok) << built.err;
    EXPECT_EQ(FolderListing(outputFolder),
              (std::vector<std::string>{".~vantis-pack-fedcba98", "installer.exe",
                                        "installer.exe.~vantis-pack7"}));
  }
  const Outcome listed = List(work.output);
  EXPECT_NE(listed.out.find("Data/a.bin"), std::string::npos) << listed.out;
  EXPECT_EQ(listed.out.find("~vantis-pack"), std::string::npos) << listed.out;
}

#ifndef _WIN32  // Windows' limit is on the whole path

// The file system's limit is on each name: whatever name fits, its temporary file fits too.
TEST(PackerTemporaryFiles, NamesUpToTheLimitAreWritten) {
  Workspace work;
  const std::string longest(255, 'n');
  work.Add("config.txt", "1.0.5 = 1.0.4\n");
  work.Add(longest, "longest");  // at the top: the whole name is limited too
  BuildOptions options = work.Options();
  options.outputPath = work.output.parent_path() / (std::string(246, 'o') + ".exe");
  const Outcome built = Build(options);
  ASSERT_TRUE(built.ok) << built.err;
  const fs::path folder = work.folder.Path() / "extracted";
  const Outcome extracted = Extract(options.outputPath, folder);
  ASSERT_TRUE(extracted.ok) << extracted.err;
  EXPECT_EQ(ReadFile(folder / longest), "longest");
}

#endif

}  // namespace
