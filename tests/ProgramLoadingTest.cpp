// The Windows programs we ship are started from folders that others can write to, so a DLL
// planted beside them must never be loaded: before their entry point runs they may load
// only DLLs that Windows takes from the system folder whatever lies beside the program,
// and the load configuration keeps those DLLs' own imports in the system folder too.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "PackTestSupport.h"
#include "vantis-pack/writing/InstallerProgram.h"

using namespace packtest;

namespace {

// Windows maps these from \KnownDlls, never from the program's folder: the values of
// HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs (Microsoft's "Dynamic-link
// library search order" names the key, not its values), only those present on every
// Windows from 7 to 11.
const std::set<std::string> kKnownDlls = {
    "advapi32.dll", "combase.dll", "comdlg32.dll", "gdi32.dll",    "imagehlp.dll",
    "kernel32.dll", "msvcrt.dll",  "ole32.dll",    "oleaut32.dll", "rpcrt4.dll",
    "sechost.dll",  "setupapi.dll", "shell32.dll", "shlwapi.dll",  "user32.dll",
    "ws2_32.dll"};
constexpr uint16_t kLoadLibrarySearchSystem32 = 0x0800;

// Whole, in one read: the programs are megabytes.
std::string ReadProgram(const fs::path& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

TEST(ProgramLoading, ReadsNoTablesWhereThereAreNone) {
  TempFolder folder;
  const fs::path program = folder.Path() / "program.exe";
  ProgramLoading loading;
  std::string reason;
  WriteFile(program, kStub);
  ASSERT_TRUE(ReadProgramLoading(program, loading, reason)) << reason;
  EXPECT_TRUE(loading.importedDlls.empty());
  EXPECT_EQ(loading.dependentLoadFlags, 0);
  WriteFile(program, kStub.substr(0, 0x100));
  EXPECT_FALSE(ReadProgramLoading(program, loading, reason));
}

// scripts/test.sh names the Windows build it tests in VANTIS_WINDOWS_BUILD and always
// builds the 32-bit one, the product; there both must be present. A native-only run
// without them skips, saying so.
TEST(ProgramLoading, ShippedProgramsLoadNothingFromTheirFolder) {
  std::set<std::string> builds = {VANTIS_PRODUCT_WINDOWS_BUILD};
  const char* tested = std::getenv("VANTIS_WINDOWS_BUILD");
  const bool required = tested && *tested;
  if (required) builds.insert(tested);
  if (!required && !fs::exists(fs::path(VANTIS_PRODUCT_WINDOWS_BUILD) / "app")) {
    GTEST_SKIP() << "no Windows build at " << VANTIS_PRODUCT_WINDOWS_BUILD
                 << " and VANTIS_WINDOWS_BUILD unset: build the win32 preset first";
  }
  for (const std::string& build : builds) {
    for (const char* name : {"app/vantis-installer.exe", "vantis-pack/vantis-pack.exe"}) {
      const fs::path program = fs::path(build) / name;
      SCOPED_TRACE(program.string());
      ProgramLoading loading;
      std::string reason;
      ASSERT_TRUE(ReadProgramLoading(program, loading, reason)) << reason;
      // The installer's manifest binds comctl32 to the side-by-side Common Controls 6
      // assembly, which Windows takes from its own store, never from the program's folder.
      const bool commonControlsAssembly =
          ReadProgram(program).find("Microsoft.Windows.Common-Controls") != std::string::npos;
      for (const std::string& dll : loading.importedDlls) {
        EXPECT_TRUE(kKnownDlls.count(Lower(dll)) != 0 ||
                    (Lower(dll) == "comctl32.dll" && commonControlsAssembly))
            << dll << " is not a KnownDLL: load it at run time from the system folder";
      }
      EXPECT_EQ(loading.dependentLoadFlags & kLoadLibrarySearchSystem32,
                kLoadLibrarySearchSystem32);
    }
  }
}

}  // namespace
