#include "vantis-pack/ManifestSummary.h"

std::string FormatGameVersion(GameVersion version) {
  return std::to_string(VersionMajor(version)) + "." + std::to_string(VersionMinor(version)) +
         "." + std::to_string(VersionBuild(version));
}

std::string DescribeManifest(const ManifestSummary& manifest) {
  return "patch version " + FormatGameVersion(manifest.patchVersion) + ", rule \"" +
         manifest.ruleToken + "\", required version " +
         FormatGameVersion(manifest.requiredVersion);
}
