// The stub: only a 32-bit GUI program with the install dialog is taken.

#include <gtest/gtest.h>

#include <algorithm>

#include "PackTestSupport.h"
#include "vantis-pack/writing/InstallerProgram.h"

using namespace packtest;

namespace {

TEST(InstallerProgram, TakesOnlyA32BitGuiProgramWithTheInstallDialog) {
  const auto shape = [](uint16_t machine, uint16_t subsystem,
                        std::vector<std::pair<uint32_t, uint32_t>> resources) {
    ProgramShape result;
    result.machine = machine;
    result.subsystem = subsystem;
    result.resources = std::move(resources);
    return MakeProgram(result);
  };
  const std::pair<std::string, std::string> refused[] = {
      {"MZ", "not a Windows program"},
      {shape(0x01C4, 2, {{5, 100}, {14, 100}}), "not a 32-bit x86 program"},
      {shape(0x8664, 2, {{5, 100}}), "without icon group 100"},
      {shape(0x014C, 3, {{5, 100}, {14, 100}}), "a console program"},
      {shape(0x014C, 2, {{14, 100}}), "without dialog 100"},
      {shape(0x014C, 2, {{5, 101}, {14, 100}}), "without dialog 100"},
      {shape(0x014C, 2, {{5, 100}, {14, 101}}), "without icon group 100"},
  };
  TempFolder folder;
  const fs::path program = folder.Path() / "program.exe";
  std::string reason;
  std::string warning;
  for (const auto& [bytes, why] : refused) {
    WriteFile(program, bytes);
    EXPECT_FALSE(CheckInstallerProgram(program, reason, warning)) << why;
    EXPECT_NE(reason.find(why), std::string::npos) << reason;
  }
  WriteFile(program, kStub);
  EXPECT_TRUE(CheckInstallerProgram(program, reason, warning)) << reason;
  EXPECT_EQ(warning, "");
  // The tests of machines that cannot run 32-bit code pack onto the 64-bit build.
  WriteFile(program, shape(0x8664, 2, {{5, 100}, {14, 100}}));
  EXPECT_TRUE(CheckInstallerProgram(program, reason, warning)) << reason;
  EXPECT_NE(warning.find("the 64-bit build"), std::string::npos);
}

// The program the Windows build makes, where vantis-pack finds it: in the Windows build the
// build puts a copy beside the test program; natively it is the win32 build's.
TEST(InstallerProgram, TakesTheInstallerProgramThisTreeBuilds) {
  const std::vector<fs::path> candidates = DefaultStubCandidates();
  ASSERT_FALSE(candidates.empty());
  const auto real = std::find_if(candidates.begin(), candidates.end(),
                                 [](const fs::path& path) { return fs::exists(path); });
  if (real == candidates.end()) {
    GTEST_SKIP() << "no installer program at " << candidates.back()
                 << ": build the win32 preset first";
  }
  std::string reason;
  std::string warning;
  EXPECT_TRUE(CheckInstallerProgram(*real, reason, warning)) << *real << ": " << reason;
}

}  // namespace
