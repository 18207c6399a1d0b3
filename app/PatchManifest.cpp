#include "app/PatchManifest.h"

GameVersion PatchVersion = 0;
VersionRuleKind VersionRule = RuleInvalid;
GameVersion RequiredVersion = 0;
std::string PatchNotes;

namespace {

bool IsDigit(char byte) { return byte >= '0' && byte <= '9'; }

void SkipManifestSpace(const char*& cursor) {
  while (IsManifestSpace(*cursor)) ++cursor;
}

GameVersion ScanVersion(const char*& cursor) {
  // Three separate statements: the numbers must be read in order.
  const int32_t major = ScanVersionNumber(cursor);
  const int32_t minor = ScanVersionNumber(cursor);
  const int32_t build = ScanVersionNumber(cursor);
  return PackGameVersion(major, minor, build);
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
void ParsePatchManifest(const std::string& content) {
  const char* cursor = content.c_str();

  PatchVersion = ScanVersion(cursor);

  SkipManifestSpace(cursor);
  const char* token = cursor;
  while (*cursor != '\0' && !IsManifestSpace(*cursor)) ++cursor;
  const std::string rule(token, static_cast<size_t>(cursor - token));
  if (rule == "=") {
    VersionRule = RuleExact;
  } else if (rule == "<=") {
    VersionRule = RuleAtMost;
  } else {
    VersionRule = RuleInvalid;
  }

  RequiredVersion = ScanVersion(cursor);

  SkipManifestSpace(cursor);
  PatchNotes = cursor;
}
