#pragma once
// vantis-pack build: the installer program with a package of a source folder appended.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "vantis-pack/report/CommandOutput.h"
#include "vantis-pack/report/ManifestText.h"
#include "vantis-pack/report/ManifestEncoding.h"
#include "vantis-pack/report/ResultJson.h"
#include "vantis-pack/names/SourceTree.h"

constexpr size_t kRandomKeyLength = 16;  // all that IDEA takes
// The longest installer the installer program can open: it seeks to the trailer, in the
// last 4 bytes, with a signed 32-bit distance, so the trailer must start below 2 GiB.
// Everything else lies before the trailer and is then in reach too.
constexpr uint64_t kInstallerLengthLimit = 0x80000003u;

// What build and diff share: how the installer is written and what stays out.
struct PackOptions {
  std::filesystem::path outputPath;
  std::filesystem::path stubPath;  // empty: the first of DefaultStubCandidates() that exists
  std::string key;                 // empty: kRandomKeyLength bytes from the system
  NotesEncoding notesEncoding = NotesEncoding::kAuto;
  std::vector<std::string> excludePatterns;  // vantis-pack/names/ExcludePattern.h
  bool dryRun = false;                       // check and list, write nothing
  // Whole entries only, for any installer program. Otherwise entries are stored deflated or
  // as deltas where that is smaller and the installer program declares it reads them.
  bool plain = false;
};

struct BuildOptions : PackOptions {
  std::filesystem::path sourceFolder;
};

// An installer's content once chosen, for build and diff alike.
struct PackRequest {
  std::vector<SourceFile> files;  // in index order; config.txt among them, with no path
  std::string manifest;           // config.txt's content, as stored (code page 936)
  std::vector<std::string> excludedNames;  // listed by a dry run
  // By entry name: the old version's copy of the file, which the entry may be stored as a
  // delta against (diff).
  std::map<std::string, std::filesystem::path> deltaSources;
};

// True when `output` would land inside `folder` (through links too), where the next build
// or diff of that folder would pack it.
bool OutputLiesWithin(const std::filesystem::path& output, const std::filesystem::path& folder);

// Hexadecimal digits, two per byte, 1 to 74 bytes (what the header holds).
bool ParseKeyHex(const std::string& hex, std::string& key, std::string& error);

// Where the installer program is looked for: beside this program, then where the Windows
// build of this source tree puts it.
std::vector<std::filesystem::path> DefaultStubCandidates();

// Checks the stub, the installer's length and the output, adding each problem to
// `problems`; with any, `error` lists them all. Otherwise writes the installer, or with
// `dryRun` lists what it would hold. The output appears only when it is complete. On
// success `result`, where given, gets what was written or would be.
bool PackInstaller(const PackRequest& request, const PackOptions& options,
                   std::vector<std::string>& problems, CommandOutput& output,
                   std::string& error, PackReport* result = nullptr);

// Everything is checked before the output is touched, every problem found in one run, and
// the output appears only when it is complete; on failure no file is left behind. The same
// tree, stub and key give the same bytes. `error` names each file and its reason.
bool BuildInstaller(const BuildOptions& options, CommandOutput& output, std::string& error,
                    PackReport* result = nullptr);
