#pragma once
// The manifest: the entry that holds the patch's versions and notes, at the top of the
// package. It is never a file of the game.
//
// Start-up finds it by its exact name, as every entry is found, so build and diff store it
// under exactly this name. The install worker skips every entry with this name in any ASCII
// case: Windows would take "CONFIG.TXT" for the same file, and none of them belongs in the
// game folder. "Data/config.txt" is an ordinary file of the patch.

#include <string_view>

#include "package/format/AsciiCase.h"

constexpr char kManifestName[] = "config.txt";

// True for the manifest's name in any case; see above for who asks this.
inline bool IsManifestNameInAnyCase(std::string_view name) {
  return EqualsIgnoringAsciiCase(name, kManifestName);
}
