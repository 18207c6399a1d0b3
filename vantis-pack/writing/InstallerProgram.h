#pragma once
// Whether a file can be the installer program that a package is appended to: a 32-bit
// x86 Windows GUI program that carries the install dialog (dialog IDD_INSTALL) and its icon
// (icon group IDI_APP). A package behind anything else would never be installed.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// False with `reason` (words that fit after "<path>: ") when it is not. The 64-bit build
// of the same program passes with a `warning`: the tests of machines that cannot run
// 32-bit code pack onto it, but players get the 32-bit build.
bool CheckInstallerProgram(const std::filesystem::path& program, std::string& reason,
                           std::string& warning);

// The entry kinds beyond whole files that the installer program declares it installs
// (its IDR_ENTRY_KINDS resource). A program without the resource reads whole entries only.
struct InstallerEntryKinds {
  bool compressed = false;
  bool delta = false;
};
InstallerEntryKinds ReadInstallerEntryKinds(const std::filesystem::path& program);

// What decides where Windows looks for a program's DLLs before its own code runs.
struct ProgramLoading {
  std::vector<std::string> importedDlls;  // as the import table spells them
  uint16_t dependentLoadFlags = 0;        // the load configuration's; 0 without one
};

// False with `reason` when the file is not a PE32 or PE32+ program or a table it points to
// lies outside its sections.
bool ReadProgramLoading(const std::filesystem::path& program, ProgramLoading& loading,
                        std::string& reason);
