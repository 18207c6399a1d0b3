#pragma once
// vantis-pack build: the installer program with a package of a source folder appended.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "packer/CommandOutput.h"
#include "packer/NotesEncoding.h"

constexpr size_t kRandomKeyLength = 16;  // all that IDEA takes
// The longest installer the installer program can open: it seeks to the trailer, in the
// last 4 bytes, with a signed 32-bit distance, so the trailer must start below 2 GiB.
// Everything else lies before the trailer and is then in reach too.
constexpr uint64_t kInstallerLengthLimit = 0x80000003u;

struct BuildOptions {
  std::filesystem::path sourceFolder;
  std::filesystem::path outputPath;
  std::filesystem::path stubPath;  // empty: the first of DefaultStubCandidates() that exists
  std::string key;                 // empty: kRandomKeyLength bytes from the system
  NotesEncoding notesEncoding = NotesEncoding::kAuto;
};

// Hexadecimal digits, two per byte, 1 to 74 bytes (what the header holds).
bool ParseKeyHex(const std::string& hex, std::string& key, std::string& error);

// Where the installer program is looked for: beside this program, then where the Windows
// build of this source tree puts it.
std::vector<std::filesystem::path> DefaultStubCandidates();

// Everything is checked before the output is touched, and the output appears only when it
// is complete; on failure no file is left behind. The same tree, stub and key give the same
// bytes. `error` names the file and the reason.
bool BuildInstaller(const BuildOptions& options, CommandOutput& output, std::string& error);
