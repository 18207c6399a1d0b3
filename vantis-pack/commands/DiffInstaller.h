#pragma once
// vantis-pack diff: the patch that takes a game folder from one version to the next.

#include <filesystem>
#include <string>
#include <vector>

#include "app/game/PatchManifest.h"
#include "vantis-pack/commands/BuildInstaller.h"
#include "vantis-pack/report/CommandOutput.h"
#include "vantis-pack/report/ManifestEncoding.h"

struct DiffOptions : PackOptions {  // the exclude patterns apply to both folders
  std::filesystem::path oldFolder;
  std::filesystem::path newFolder;
  std::filesystem::path notesPath;  // empty: no notes
  VersionRuleKind rule = RuleExact;
};

// The entries are the files of NEW that OLD lacks or holds with other bytes, compared by
// content; Bin/version.xml is left out, as the installer writes it. config.txt says NEW's
// version (from NEW/Bin/version.xml), the rule, OLD's version and the notes. Refused with
// every reason found: a version file missing or without a version, NEW not newer than OLD,
// an entry the installer would take for its manifest, anything `build` refuses in NEW.
// Files of OLD that NEW lacks are warned about: the format cannot delete them.
// `result` as for PackInstaller, with the counts of new, changed and unchanged files.
bool DiffInstaller(const DiffOptions& options, CommandOutput& output, std::string& error,
                   PackReport* result = nullptr);
