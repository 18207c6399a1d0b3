#pragma once
// What the installer reads out of config.txt, for the packer's checks and listings.

#include <string>

#include "app/GameVersion.h"
#include "app/PatchManifest.h"

struct ManifestSummary {
  GameVersion patchVersion = 0;
  std::string ruleToken;  // as written, also when it is no valid rule
  VersionRuleKind rule = RuleInvalid;
  GameVersion requiredVersion = 0;
  std::string notes;  // code page 936 bytes
};

// Parses with the installer's own parser. Sets the process-wide manifest values as a side
// effect; the tool has no other use for them.
ManifestSummary SummarizeManifest(const std::string& content);

// major.minor.build
std::string FormatGameVersion(GameVersion version);

// "patch version 1.0.5, rule "<=", required version 1.0.4"
std::string DescribeManifest(const ManifestSummary& manifest);
