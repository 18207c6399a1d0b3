#include "vantis-pack/ManifestSummary.h"

namespace {

// The parser keeps only the rule's kind; the token itself is found again with the same
// scanner, so that an error can show what was written.
std::string FindRuleToken(const std::string& content) {
  const char* cursor = content.c_str();
  for (int i = 0; i < 3; ++i) ScanVersionNumber(cursor);
  while (IsManifestSpace(*cursor)) ++cursor;
  const char* token = cursor;
  while (*cursor != '\0' && !IsManifestSpace(*cursor)) ++cursor;
  return std::string(token, static_cast<size_t>(cursor - token));
}

}  // namespace

ManifestSummary SummarizeManifest(const std::string& content) {
  ParsePatchManifest(content);
  ManifestSummary summary;
  summary.patchVersion = PatchVersion;
  summary.ruleToken = FindRuleToken(content);
  summary.rule = VersionRule;
  summary.requiredVersion = RequiredVersion;
  summary.notes = PatchNotes;
  return summary;
}

std::string FormatGameVersion(GameVersion version) {
  return std::to_string(VersionMajor(version)) + "." + std::to_string(VersionMinor(version)) +
         "." + std::to_string(VersionBuild(version));
}

std::string DescribeManifest(const ManifestSummary& manifest) {
  return "patch version " + FormatGameVersion(manifest.patchVersion) + ", rule \"" +
         manifest.ruleToken + "\", required version " +
         FormatGameVersion(manifest.requiredVersion);
}
