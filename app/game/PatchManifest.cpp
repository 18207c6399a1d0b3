#include "app/game/PatchManifest.h"

#include <utility>

GameVersion PatchVersion = 0;
VersionRuleKind VersionRule = RuleInvalid;
GameVersion RequiredVersion = 0;
std::string PatchNotes;

namespace {

bool IsDigit(char byte) { return byte >= '0' && byte <= '9'; }

void SkipManifestSpace(const char*& cursor) {
  while (IsManifestSpace(*cursor)) ++cursor;
}

// The three numbers in order, each with where its digits stand in `text`.
GameVersion ScanVersion(const char* text, const char*& cursor, ManifestNumber (&numbers)[3]) {
  for (ManifestNumber& number : numbers) {
    const char* before = cursor;
    number.value = ScanVersionNumber(cursor);
    const char* begin = cursor;
    while (begin > before && IsDigit(begin[-1])) --begin;
    number.digitsOffset = static_cast<size_t>(begin - text);
    number.digitsLength = static_cast<size_t>(cursor - begin);
  }
  return PackGameVersion(numbers[0].value, numbers[1].value, numbers[2].value);
}

}  // namespace

int32_t ScanVersionNumber(const char*& cursor) {
  while (IsManifestSpace(*cursor) || *cursor == '.') ++cursor;

  // No sign is taken: "-5" is an empty run, so 0, with the cursor left on the '-'.
  int32_t value = 0;
  for (; IsDigit(*cursor); ++cursor) {
    const int32_t digit = *cursor - '0';
    value = value > (INT32_MAX - digit) / 10 ? INT32_MAX : value * 10 + digit;
  }
  return value;
}

// Layout, read from the start with no line structure:
//   patch version     three numbers, each after any run of white space and '.'
//   white space       space, \t, \n, \v, \r (not '.')
//   rule token        up to the next white space: "=" or "<=", anything else is invalid
//   required version  three numbers, as above
//   white space
//   notes             the rest
// The content is handled as a C string, so a zero byte ends every step as the end of the
// content does; in particular the notes stop at the first zero byte.
PatchManifest ScanPatchManifest(const std::string& content) {
  const char* text = content.c_str();
  const char* cursor = text;
  PatchManifest manifest;

  manifest.patchVersion = ScanVersion(text, cursor, manifest.patchNumbers);

  SkipManifestSpace(cursor);
  const char* token = cursor;
  while (*cursor != '\0' && !IsManifestSpace(*cursor)) ++cursor;
  manifest.ruleToken.assign(token, static_cast<size_t>(cursor - token));
  if (manifest.ruleToken == "=") {
    manifest.rule = RuleExact;
  } else if (manifest.ruleToken == "<=") {
    manifest.rule = RuleAtMost;
  } else {
    manifest.rule = RuleInvalid;
  }

  manifest.requiredVersion = ScanVersion(text, cursor, manifest.requiredNumbers);
  manifest.requiredEnd = static_cast<size_t>(cursor - text);

  SkipManifestSpace(cursor);
  manifest.notes = cursor;
  return manifest;
}

void ParsePatchManifest(const std::string& content) {
  PatchManifest manifest = ScanPatchManifest(content);
  PatchVersion = manifest.patchVersion;
  VersionRule = manifest.rule;
  RequiredVersion = manifest.requiredVersion;
  PatchNotes = std::move(manifest.notes);
}
