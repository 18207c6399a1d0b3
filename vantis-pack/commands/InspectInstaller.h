#pragma once
// vantis-pack list, verify and extract: an installer's package, read through the
// installer's own reader (package/Package.h), so that they judge any installer the
// way the installer itself would.

#include <filesystem>
#include <string>
#include <vector>

#include "vantis-pack/report/CommandOutput.h"

enum class ReportFormat { kText, kJson };  // kJson: vantis-pack/report/PackageJson.h

// The manifest's versions, rule and notes, and every entry with its fields, to `out`.
// Fails when the package cannot be opened or its manifest cannot be read.
bool ListInstaller(const std::filesystem::path& installer, CommandOutput& output,
                   std::string& error, ReportFormat format = ReportFormat::kText);

// True only when the installer would install every entry: the package opens, its integrity
// data (where it carries any) finds the frame and directory as packed, every name passes
// the installer's rule, no name is both a file and a folder (letter case aside), config.txt
// is there with a valid rule, and every entry reads, decrypts to exactly its size and, with
// integrity data, is as packed. `error` names every clash, or else every entry that fails,
// and why. In JSON the verdict is written either way.
bool VerifyInstaller(const std::filesystem::path& installer, CommandOutput& output,
                     std::string& error, ReportFormat format = ReportFormat::kText);

// Writes every entry, config.txt included, below `folder` (created if needed), each through
// a temporary file, once every one of them has passed its integrity check; or only the entries that `names` give (UTF-8, "/" between folders),
// each an entry or a folder of entries, all of which must match. Names are checked with the
// installer's rule before anything is written, and turned from code page 936 into the
// local file system's encoding.
bool ExtractInstaller(const std::filesystem::path& installer, const std::filesystem::path& folder,
                      CommandOutput& output, std::string& error,
                      const std::vector<std::string>& names = {});
