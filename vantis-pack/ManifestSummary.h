#pragma once
// What the installer reads out of config.txt, for the packer's checks and listings.

#include <string>

#include "app/game/GameVersion.h"
#include "app/game/PatchManifest.h"

// The installer's own parse, with the rule token as written and where each number stood.
using ManifestSummary = PatchManifest;

inline ManifestSummary SummarizeManifest(const std::string& content) {
  return ParsePatchManifest(content);
}

// major.minor.build
std::string FormatGameVersion(GameVersion version);

// "patch version 1.0.5, rule "<=", required version 1.0.4"
std::string DescribeManifest(const ManifestSummary& manifest);
