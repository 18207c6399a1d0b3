// Ctrl-C and SIGTERM in the middle of a build leave no temporary file behind.

#include <gtest/gtest.h>

#include "PackTestSupport.h"
#include "package/format/EntryStream.h"
#include "vantis-pack/Interruption.h"

#ifndef _WIN32
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

// The exit status of `command` run in a child process, as the program runs it, and
// interrupted by `signalNumber` from within; 0 if the signal never came.
template <typename Command>
int StatusWhenInterrupted(int signalNumber, Command command) {
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
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

#endif

}  // namespace
