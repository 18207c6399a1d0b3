#pragma once
// vantis-pack list, verify and extract: an installer's package, read through the
// installer's own reader (package/Package.h), so that they judge any installer the
// way the installer itself would.

#include <filesystem>
#include <string>
#include <vector>

#include "vantis-pack/report/CommandOutput.h"
#include "vantis-pack/report/ResultJson.h"

enum class ReportFormat { kText, kJson };  // kJson: vantis-pack/report/PackageJson.h

// The manifest's versions, rule and notes, and every entry with its fields, to `out`.
// Fails when the package cannot be opened or its manifest cannot be read.
bool ListInstaller(const std::filesystem::path& installer, CommandOutput& output,
                   std::string& error, ReportFormat format = ReportFormat::kText);

// True only when the installer would install every entry: the package opens, its integrity
// data (where it carries any) finds the frame and directory as packed, every name passes
// the installer's rule, no name is both a file and a folder (letter case aside), config.txt
// is there with a valid rule, and every entry reads, decrypts to exactly its size and, with
// integrity data, is as packed; and every compressed entry inflates to what it promises,
// every delta applies to the file in `gameFolder` it was made from (the file named by the
// entry, which must be there and match), or without `gameFolder` at least holds together
// (all but the result's checksum, which needs that file). `error` names every clash, or
// else every entry that fails, and why. In JSON the verdict is written either way.
bool VerifyInstaller(const std::filesystem::path& installer, CommandOutput& output,
                     std::string& error, ReportFormat format = ReportFormat::kText,
                     const std::filesystem::path& gameFolder = {});

// Writes every entry, config.txt included, below `folder` (created if needed), each through
// a temporary file, once every one of them has passed its integrity check; or only the entries that `names` give (UTF-8, "/" between folders),
// each an entry or a folder of entries, all of which must match. Names are checked with the
// installer's rule before anything is written, and turned from code page 936 into the
// local file system's encoding. Each file gets what the installer would install: a
// compressed entry inflated, a delta applied to its file in `gameFolder`. A delta without
// `gameFolder`, or whose file there is missing or not the one it was made from, refuses
// the whole extraction before anything is written. `written`, where given, gets each file
// as it is written, so that after a failure it names those already in place.
bool ExtractInstaller(const std::filesystem::path& installer, const std::filesystem::path& folder,
                      CommandOutput& output, std::string& error,
                      const std::vector<std::string>& names = {},
                      const std::filesystem::path& gameFolder = {},
                      std::vector<ExtractedFile>* written = nullptr);
