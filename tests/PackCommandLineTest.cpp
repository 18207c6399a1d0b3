// vantis-pack's command line: exit codes and help, and the real program as a publisher runs
// it.

#include <gtest/gtest.h>

#include <cstdlib>

#include "PackTestSupport.h"
#include "vantis-pack/commands/PackCommandLine.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

using namespace packtest;

namespace {

TEST(PackCommandLine, ExitCodesAndHelp) {
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string text;
  } cases[] = {
      {{}, kExitUsage, "usage: vantis-pack COMMAND"},
      {{"--help"}, kExitSuccess, "usage: vantis-pack COMMAND"},
      {{"build", "--help"}, kExitSuccess, "--notes-encoding"},
      {{"help", "extract"}, kExitSuccess, "-C, --directory DIR"},
      {{"verify", "-h"}, kExitSuccess, "usage: vantis-pack verify"},
      {{"pack"}, kExitUsage, "unknown command \"pack\""},
      {{"build", "src"}, kExitUsage, "missing -o OUTPUT.exe"},
      {{"build", "src", "-o"}, kExitUsage, "option -o needs a value"},
      {{"build", "src", "-o", "x", "--key", "abc"}, kExitUsage, "even number"},
      {{"build", "src", "-o", "x", "--key=zz"}, kExitUsage, "not hexadecimal"},
      {{"build", "src", "-o", "x", "--notes-encoding", "latin1"}, kExitUsage, "utf-8, cp936"},
      {{"list"}, kExitUsage, "missing argument"},
      {{"list", "a", "b"}, kExitUsage, "unexpected argument b"},
      {{"extract", "a"}, kExitUsage, "missing -C DIR"},
      {{"verify", "--fast", "a"}, kExitUsage, "unknown option --fast"},
      {{"verify", "/nonexistent/installer.exe"}, kExitFailure, "error: /nonexistent/installer.exe"},
      {{"verify", "--quiet", "/nonexistent/installer.exe"}, kExitFailure, "error: /nonexistent"},
      {{"extract", "/nonexistent.exe", "-C", "d", "Data/a", "b"}, kExitFailure,
       "error: /nonexistent.exe"},
      {{"diff", "old"}, kExitUsage, "missing argument"},
      {{"diff", "old", "new", "-o", "x", "--rule", ">="}, kExitUsage, "--rule takes = or <="},
      {{"--version"}, kExitSuccess, std::string("vantis-pack ") + kPackToolVersion + "\n"},
      {{"build", "src", "-o", "x", "--dry-run=yes"}, kExitUsage, "--dry-run takes no value"},
      {{"build", "src", "-o", "x", "--exclude"}, kExitUsage, "--exclude needs a value"},
      {{"diff", "old", "new", "-o", "x", "--plain=yes"}, kExitUsage, "--plain takes no value"},
      {{"verify", "a", "--game"}, kExitUsage, "option --game needs a value"},
      {{"list", "a", "--game", "g"}, kExitUsage, "unknown option --game"},
  };
  for (const auto& command : cases) {
    std::ostringstream out;
    std::ostringstream err;
    CommandOutput output{out, err, nullptr};
    EXPECT_EQ(RunPackTool(command.arguments, output), command.status)
        << testing::PrintToString(command.arguments);
    EXPECT_NE((out.str() + err.str()).find(command.text), std::string::npos)
        << out.str() << err.str();
  }
}

#ifdef VANTIS_PACK_PROGRAM
// The real program, as a publisher runs it: exit codes and the streams they write to.
int RunProgram(const std::string& arguments, const fs::path& folder, std::string& out,
               std::string& err) {
  const std::string command = std::string(VANTIS_PACK_PROGRAM) + " " + arguments + " >" +
                              (folder / "stdout").string() + " 2>" +
                              (folder / "stderr").string();
  const int status = std::system(command.c_str());
  out = ReadFile(folder / "stdout");
  err = ReadFile(folder / "stderr");
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PackCommandLine, BuildsVerifiesAndReportsFailuresThroughExitCodes) {
  Workspace work;
  work.Add("config.txt", kUtf8Manifest);
  work.Add("Data/a.txt", "a");
  const fs::path folder = work.folder.Path();
  std::string out;
  std::string err;
  const std::string build = "build '" + work.source.string() + "' -o '" +
                            work.output.string() + "' --stub '" + work.stub.string() +
                            "' --key " + kKeyHex;
  ASSERT_EQ(RunProgram(build, folder, out, err), 0) << err;
  EXPECT_NE(out.find("built "), std::string::npos);
  EXPECT_NE(err.find("converted from UTF-8"), std::string::npos);
  EXPECT_EQ(err.find('\r'), std::string::npos) << "no progress bar off a terminal";

  EXPECT_EQ(RunProgram("verify '" + work.output.string() + "'", folder, out, err), 0) << err;
  EXPECT_NE(out.find(": OK, 2 entries"), std::string::npos) << out;
  EXPECT_EQ(RunProgram(build + " --quiet", folder, out, err), 0) << err;
  EXPECT_EQ(out + err, "") << "--quiet: neither the report nor the conversion notice";
  EXPECT_EQ(RunProgram("list '" + work.output.string() + "'", folder, out, err), 0) << err;
  EXPECT_NE(out.find("Data/a.txt"), std::string::npos) << out;

  WriteFile(work.output, kStub);
  EXPECT_EQ(RunProgram("verify '" + work.output.string() + "'", folder, out, err), 1);
  EXPECT_NE(err.find("vantis-pack: error: "), std::string::npos) << err;
  EXPECT_EQ(RunProgram("build", folder, out, err), 2);
  EXPECT_NE(err.find("Try \"vantis-pack build --help\""), std::string::npos) << err;
}
#endif

}  // namespace
