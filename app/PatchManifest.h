#pragma once
// The patch's manifest "config.txt": patch version, rule token, required version, notes.

#include <cstdint>
#include <string>

#include "app/GameVersion.h"

enum VersionRuleKind : uint32_t {
  RuleInvalid = 0,  // token neither "=" nor "<="
  RuleExact = 1,    // "="
  RuleAtMost = 2,   // "<="
};

// Process-wide: set once at start-up, read-only afterwards.
extern GameVersion PatchVersion;
extern VersionRuleKind VersionRule;
extern GameVersion RequiredVersion;
extern std::string PatchNotes;  // code page 936 bytes, shown unchanged

// The manifest's white space, which separates its tokens. Form feed is not among it,
// unlike isspace.
inline bool IsManifestSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\r';
}

// Reads one number: skips separators (space, \t, \n, \v, \r and "."; not \f), then a run
// of ASCII digits, no sign. Saturates at 2147483647. The cursor ends after the digits; with
// no digits the value is 0 and the cursor stays where the skip stopped. `cursor` points
// into a zero-terminated text.
int32_t ScanVersionNumber(const char*& cursor);

// Sets all four values, every call; never fails. A zero byte ends the text, so the notes
// stop at the first zero byte.
void ParsePatchManifest(const std::string& content);
