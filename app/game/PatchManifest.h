#pragma once
// The patch's manifest "config.txt": patch version, rule token, required version, notes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/game/GameVersion.h"

enum VersionRuleKind : uint32_t {
  RuleInvalid = 0,  // token neither "=" nor "<="
  RuleExact = 1,    // "="
  RuleAtMost = 2,   // "<="
};

// One version number as the scanner read it, and where its digits stand in the text
// (`digitsLength` 0 when there were none).
struct ManifestNumber {
  int32_t value = 0;
  size_t digitsOffset = 0;
  size_t digitsLength = 0;
};

// The manifest as the installer reads it, and where each token stood, for tools that tell
// the publisher what the installer will make of it.
struct PatchManifest {
  GameVersion patchVersion = 0;
  std::string ruleToken;  // as written, also when it is no valid rule
  VersionRuleKind rule = RuleInvalid;
  GameVersion requiredVersion = 0;
  std::string notes;  // code page 936 bytes, shown unchanged

  ManifestNumber patchNumbers[3];     // major, minor, build before packing
  ManifestNumber requiredNumbers[3];
  size_t requiredEnd = 0;  // offset right after the required version's last scanned byte
};

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

// Process-wide: set once at start-up by ParsePatchManifest, read-only afterwards.
extern GameVersion PatchVersion;
extern VersionRuleKind VersionRule;
extern GameVersion RequiredVersion;
extern std::string PatchNotes;  // code page 936 bytes, shown unchanged

// The manifest as a value. Never fails. A zero byte ends the text, so the notes stop at
// the first zero byte.
PatchManifest ScanPatchManifest(const std::string& content);

// Sets all four process-wide values from ScanPatchManifest, every call; never fails.
void ParsePatchManifest(const std::string& content);
