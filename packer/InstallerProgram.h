#pragma once
// Whether a file can be the installer program that a package is appended to: a 32-bit
// x86 Windows GUI program that carries the install dialog (dialog IDD_INSTALL) and its icon
// (icon group IDI_APP). A package behind anything else would never be installed.

#include <filesystem>
#include <string>

// False with `reason` (words that fit after "<path>: ") when it is not. The 64-bit build
// of the same program passes with a `warning`: the tests of machines that cannot run
// 32-bit code pack onto it, but players get the 32-bit build.
bool CheckInstallerProgram(const std::filesystem::path& program, std::string& reason,
                           std::string& warning);
