// Property: ParsePatchManifest reads any content, zero bytes included, without reading past
// it; the result depends only on the text before the first zero byte; the notes are a tail
// of that text; and a manifest written back from the parsed values ("major.minor.build",
// the rule's token, the required version, a line break, the notes) parses to the same
// four values.

#include <string>

#include "FuzzTarget.h"
#include "app/game/PatchManifest.h"

namespace {

struct ParsedManifest {
  GameVersion patchVersion;
  VersionRuleKind rule;
  GameVersion requiredVersion;
  std::string notes;

  bool operator==(const ParsedManifest& other) const {
    return patchVersion == other.patchVersion && rule == other.rule &&
           requiredVersion == other.requiredVersion && notes == other.notes;
  }
};

ParsedManifest Parse(const std::string& content) {
  ParsePatchManifest(content);
  return {PatchVersion, VersionRule, RequiredVersion, PatchNotes};
}

std::string FormatVersion(GameVersion version) {
  return std::to_string(VersionMajor(version)) + "." + std::to_string(VersionMinor(version)) +
         "." + std::to_string(VersionBuild(version));
}

const char* RuleToken(VersionRuleKind rule) {
  switch (rule) {
    case RuleExact:
      return "=";
    case RuleAtMost:
      return "<=";
    case RuleInvalid:
      break;
  }
  return "=>";
}

}  // namespace

int FuzzOne(const uint8_t* data, size_t size) {
  // An exact-size copy, so that AddressSanitizer sees any read beyond the content's end
  // other than its terminator.
  const std::string content(reinterpret_cast<const char*>(data), size);
  const ParsedManifest parsed = Parse(content);

  const std::string text = content.substr(0, content.find('\0'));
  FUZZ_CHECK(Parse(text) == parsed);
  FUZZ_CHECK(parsed.notes.size() <= text.size());
  FUZZ_CHECK(text.compare(text.size() - parsed.notes.size(), std::string::npos,
                          parsed.notes) == 0);

  const std::string written = FormatVersion(parsed.patchVersion) + " " +
                              RuleToken(parsed.rule) + " " +
                              FormatVersion(parsed.requiredVersion) + "\n" + parsed.notes;
  FUZZ_CHECK(Parse(written) == parsed);
  return 0;
}
