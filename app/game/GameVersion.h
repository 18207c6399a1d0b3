#pragma once
// The game's version: major (bits 31-24), minor (23-16) and build (15-0) in one unsigned
// value, ordered as a number; and the Bin\version.xml text that records it.

#include <cstdint>
#include <string>

#include "platform/File.h"

using GameVersion = uint32_t;

// 32-bit wrap-around, no range checks: a minor above 255 carries into the major.
GameVersion PackGameVersion(int32_t major, int32_t minor, int32_t build);

inline uint32_t VersionMajor(GameVersion version) { return version >> 24; }
inline uint32_t VersionMinor(GameVersion version) { return (version >> 16) & 0xFFu; }
inline uint32_t VersionBuild(GameVersion version) { return version & 0xFFFFu; }

// major.minor.build, as the dialogs and the tool show it.
std::string FormatGameVersion(GameVersion version);

// The six-line text written to Bin\version.xml (LF line ends, no BOM).
std::string FormatVersionFile(GameVersion version);

// Never fails: 0 when the file cannot be opened or read. Searches at most 4096 bytes, up
// to the first zero byte; a field whose tag pair is missing is 0.
GameVersion ReadInstalledVersion(const NativePath& path);

// The three numbers of a version file as ReadInstalledVersion reads them, before they are
// packed, for a reader that must tell a missing or oversized field from a real one.
struct VersionFileFields {
  static constexpr const char* kNames[3] = {"major", "minor", "build_number"};
  int32_t numbers[3] = {};  // major, minor, build; 0 where the tag pair is missing
  bool found[3] = {};       // whether the field's tag pair is there
};

// False when the file cannot be opened or read.
bool ReadVersionFileFields(const NativePath& path, VersionFileFields& fields);
