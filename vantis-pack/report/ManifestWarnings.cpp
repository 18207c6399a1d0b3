#include "vantis-pack/report/ManifestWarnings.h"

#include "app/game/GameVersion.h"
#include "app/game/PatchManifest.h"
#include "vantis-pack/report/DisplayText.h"

namespace {

void CheckVersion(const std::string& text, const ManifestNumber (&numbers)[3],
                  GameVersion packed, const char* role, size_t firstLineEnd,
                  std::vector<std::string>& warnings) {
  static constexpr const char* kFields[] = {"major", "minor", "build"};
  static constexpr int32_t kLimits[] = {255, 255, 65535};
  for (size_t i = 0; i < 3; ++i) {
    const ManifestNumber& number = numbers[i];
    const std::string digits = text.substr(number.digitsOffset, number.digitsLength);
    if (number.value > kLimits[i]) {
      warnings.push_back(std::string("the ") + role + " version's " + kFields[i] + " number " +
                         digits + " is above " + std::to_string(kLimits[i]) +
                         "; the installer takes the version as " + FormatGameVersion(packed));
    }
    if (!digits.empty() && number.digitsOffset > firstLineEnd) {
      warnings.push_back(std::string("the ") + role + " version's " + kFields[i] + " number " +
                         digits + " is read from after the first line; the installer takes "
                         "the version as " + FormatGameVersion(packed));
    }
  }
}

}  // namespace

std::vector<std::string> FindManifestWarnings(const std::string& manifest) {
  // The installer scans a zero-terminated text.
  const std::string text = manifest.substr(0, manifest.find('\0'));
  const size_t newline = text.find('\n');
  const size_t firstLineEnd = newline == std::string::npos ? text.size() : newline;
  const PatchManifest parsed = ScanPatchManifest(text);

  std::vector<std::string> warnings;
  CheckVersion(text, parsed.patchNumbers, parsed.patchVersion, "patch", firstLineEnd, warnings);
  CheckVersion(text, parsed.requiredNumbers, parsed.requiredVersion, "required", firstLineEnd,
               warnings);

  if (parsed.requiredEnd < firstLineEnd) {
    std::string rest = text.substr(parsed.requiredEnd, firstLineEnd - parsed.requiredEnd);
    while (!rest.empty() && IsManifestSpace(rest.back())) rest.pop_back();
    size_t start = 0;
    while (start < rest.size() && IsManifestSpace(rest[start])) ++start;
    if (start < rest.size()) {
      warnings.push_back("text after the required version on the first line, " +
                         QuoteFirstLine(rest.substr(start)) +
                         "; the installer shows it as the start of the notes");
    }
  }

  if (parsed.rule == RuleAtMost && parsed.patchVersion <= parsed.requiredVersion) {
    const std::string patch = FormatGameVersion(parsed.patchVersion);
    warnings.push_back("under rule \"<=\" the patch version " + patch +
                       " is not above the required version " +
                       FormatGameVersion(parsed.requiredVersion) +
                       "; a game the rule admits at or above " + patch +
                       " is asked whether to install it again");
  }
  return warnings;
}

std::string QuoteFirstLine(const std::string& manifest) {
  std::string line = manifest.substr(0, manifest.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return "\"" + ForDisplay(line, false) + "\"";
}
