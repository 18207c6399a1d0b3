// vantis-pack's command line: exit codes and help, and the real program as a publisher runs
// it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "PackTestSupport.h"
#include "vantis-pack/commands/PackCommandLine.h"
#include "vantis-pack/writing/Sha256.h"

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

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

ToolRun RunTool(const std::vector<std::string>& arguments) {
  std::ostringstream out;
  std::ostringstream err;
  CommandOutput output{out, err, nullptr};
  const int status = RunPackTool(arguments, output);
  return {status, out.str(), err.str()};
}

// The forms getopt_long accepts, as release scripts type them, and the wrong ones.
TEST(PackCommandLine, TakesOptionsInEveryUsualForm) {
  Workspace work;
  work.Add("config.txt", kCp936Manifest);
  work.Add("Data/a.txt", "a");
  const std::string installer = work.output.string();
  // Attached values, "=", options before the positional one and "--" before it.
  ToolRun run = RunTool({"build", "-q", "--stub=" + work.stub.string(), "-o" + installer, "--key",
                     kKeyHex, "--", work.source.string()});
  ASSERT_EQ(run.status, kExitSuccess) << run.err;
  EXPECT_EQ(run.out + run.err, "");
  run = RunTool({"verify", installer, "--quiet"});
  EXPECT_EQ(run.status, kExitSuccess) << run.err;
  EXPECT_EQ(run.out, "");
  // Bundled short options with the last one's value apart, and after the installer.
  const fs::path bundled = work.folder.Path() / "bundled";
  run = RunTool({"extract", installer, "-qC", bundled.string()});
  EXPECT_EQ(run.status, kExitSuccess) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ReadFile(bundled / "Data" / "a.txt"), "a");
  const fs::path named = work.folder.Path() / "named";
  run = RunTool({"extract", "--directory", named.string(), installer, "Data/a.txt"});
  EXPECT_EQ(run.status, kExitSuccess) << run.err;
  EXPECT_EQ(FolderListing(named), (std::vector<std::string>{"Data", "Data/a.txt"}));

  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string text;
  } cases[] = {
      {{"-V"}, kExitSuccess, std::string("vantis-pack ") + kPackToolVersion + "\n"},
      // A parse that stops inside a bundle must not leak into the next one.
      {{"verify", "-zq", "a"}, kExitUsage, "unknown option -z"},
      {{"verify", "-q", "--fast=1", "a"}, kExitUsage, "unknown option --fast\n"},
      {{"build", "src", "-o", "x", "--quiet=x"}, kExitUsage, "option --quiet takes no value"},
      {{"extract", "a", "-qC"}, kExitUsage, "option -C needs a value"},
      {{"build", "src", "--output"}, kExitUsage, "option --output needs a value"},
      {{"build", "src", "-o", "x", "--output=y"}, kExitUsage, "option --output given twice"},
      // After "--" even a leading "-" is a name.
      {{"list", "--", "-q"}, kExitFailure, "error: -q"},
#ifndef _WIN32
      // Any bytes pass through unchanged; Windows hands over UTF-16, always valid UTF-8 here.
      {{"verify", "/nonexistent/\xFF\xFE.exe"}, kExitFailure, "error: /nonexistent/\xFF\xFE.exe"},
#endif
  };
  for (const auto& command : cases) {
    run = RunTool(command.arguments);
    EXPECT_EQ(run.status, command.status) << testing::PrintToString(command.arguments);
    EXPECT_NE((run.out + run.err).find(command.text), std::string::npos) << run.out << run.err;
  }
}

// Every --json document alone on stdout, on failure too, for a script to read.
TEST(PackCommandLine, JsonDocumentsForEveryCommandAlsoOnFailure) {
  Workspace work;
  work.Add("config.txt", kUtf8Manifest);
  work.Add("Data/a.txt", "abc");
  const std::string installer = work.output.string();
  const auto isOneDocument = [](const std::string& out) {
    return out.rfind("{\"formatVersion\": 1,", 0) == 0 && out.size() > 2 &&
           out.compare(out.size() - 2, 2, "}\n") == 0 &&
           out.find("formatVersion") == out.rfind("formatVersion");
  };
  ToolRun run = RunTool({"build", work.source.string(), "-o", installer, "--stub",
                         work.stub.string(), "--key", kKeyHex, "--json"});
  ASSERT_EQ(run.status, kExitSuccess) << run.err;
  EXPECT_TRUE(isOneDocument(run.out)) << run.out;
  EXPECT_NE(run.err.find("converted from UTF-8"), std::string::npos) << "notices stay on stderr";
  Sha256State hash;
  const std::string written = ReadFile(work.output);
  UpdateSha256(hash, written.data(), written.size());
  for (const std::string& expected :
       {std::string("{\"formatVersion\": 1, \"command\": \"build\","),
        "\"built\": true, \"problem\": null,\n \"outputSize\": " + std::to_string(written.size()),
        "\"sha256\": \"" + FormatSha256(FinishSha256(hash)) + "\", \"key\": \"given\"",
        std::string("{\"name\": \"Data/a.txt\", \"kind\": \"whole\", \"size\": 3, "
                    "\"installedSize\": 3}")}) {
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
  }
  EXPECT_EQ(run.out.find(kKeyHex), std::string::npos);

  const fs::path folder = work.folder.Path() / "extracted";
  run = RunTool({"extract", installer, "-C", folder.string(), "--json", "Data"});
  EXPECT_EQ(run.status, kExitSuccess) << run.err;
  EXPECT_NE(run.out.find("\"extracted\": true, \"problem\": null,\n \"fileCount\": 1, "
                         "\"installedLength\": 3,\n \"files\": [\n  {\"name\": \"Data/a.txt\", "
                         "\"size\": 3}\n ]}\n"),
            std::string::npos)
      << run.out;

  const std::string absent = (work.folder.Path() / "absent.exe").string();
  const struct {
    std::vector<std::string> arguments;
    std::string text;
  } failures[] = {
      {{"build", absent, "-o", installer, "--json", "-q"},
       "\"dryRun\": false, \"built\": false, \"problem\": \""},
      {{"diff", absent, absent, "-o", installer, "--json"}, "\"built\": false, \"problem\": \""},
      {{"extract", absent, "-C", folder.string(), "--json"},
       "\"extracted\": false, \"problem\": \""},
      {{"list", absent, "--json"}, "\"problem\": \""},
      {{"verify", absent, "--json", "-q"}, "\"verified\": false, \"problem\": \""},
  };
  for (const auto& command : failures) {
    run = RunTool(command.arguments);
    EXPECT_EQ(run.status, kExitFailure) << testing::PrintToString(command.arguments);
    EXPECT_TRUE(isOneDocument(run.out)) << run.out;
    EXPECT_NE(run.out.find(command.text), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("vantis-pack: error: "), std::string::npos) << run.err;
  }
}

#ifdef VANTIS_README
// README.md's copies of the help, each a fenced block that opens with the line
// "$ vantis-pack [COMMAND] --help", by COMMAND ("" for the overview).
std::map<std::string, std::string> ReadmeHelpBlocks(const std::string& readme) {
  const std::string opening = "```\n$ vantis-pack ";
  std::map<std::string, std::string> blocks;
  for (size_t at = readme.find(opening); at != std::string::npos;
       at = readme.find(opening, at + 1)) {
    const size_t start = at + opening.size();
    const size_t lineEnd = readme.find('\n', start);
    const size_t close = readme.find("\n```", lineEnd);
    const std::string command = readme.substr(start, lineEnd - start);
    const std::string suffix = "--help";
    if (lineEnd == std::string::npos || close == std::string::npos ||
        command.size() < suffix.size() ||
        command.compare(command.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    const std::string name = command.substr(0, command.size() - suffix.size());
    blocks[name.empty() ? name : name.substr(0, name.size() - 1)] =
        readme.substr(lineEnd + 1, close - lineEnd);
  }
  return blocks;
}

// A publisher reads the options in README.md: they must be the tool's, line for line.
TEST(PackCommandLine, ReadmeHoldsEveryHelpTextAsTheToolWritesIt) {
  const std::map<std::string, std::string> blocks = ReadmeHelpBlocks(ReadFile(VANTIS_README));
  for (const std::string command : {"", "build", "diff", "list", "verify", "extract"}) {
    const auto block = blocks.find(command);
    std::vector<std::string> arguments = {"--help"};
    if (!command.empty()) arguments.insert(arguments.begin(), command);
    const ToolRun run = RunTool(arguments);
    if (block == blocks.end()) {
      ADD_FAILURE() << "README.md has no block that opens with \"$ vantis-pack "
                    << (command.empty() ? "" : command + " ") << "--help\"";
      continue;
    }
    EXPECT_EQ(block->second, run.out) << "README.md's block for \"" << command << "\"";
  }
}
#endif

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
