#pragma once
// The few services of the host system that vantis-pack needs beyond the standard library.
// Paths travel as UTF-8 text inside the tool; these functions are the only place that
// knows how the host spells them.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// The program's arguments as UTF-8, without the program name. Windows hands main() the
// ANSI code page's version, which loses every character outside it.
std::vector<std::string> GetCommandLineArguments(int argc, char** argv);

// Lets the console show UTF-8 text written to stdout and stderr.
void PrepareConsoleOutput();

bool IsTerminal(std::FILE* stream);

// The running program's own file, or an empty path when the system does not say.
std::filesystem::path GetOwnExecutablePath();

// `length` bytes from the system's cryptographically secure source. False only when the
// source cannot be reached.
bool FillSecureRandom(uint8_t* data, size_t length);

// The path with every symbolic link, junction and "." or ".." resolved, as the system sees
// it. False when the path, or a link's target, does not exist.
bool ResolveRealPath(const std::filesystem::path& path, std::filesystem::path& realPath);
// The same for an item of a folder whose real path is known: `isLink` says the item itself
// is reported as a symbolic link. Cheaper where only such links lead elsewhere.
bool ResolveRealPathInFolder(const std::filesystem::path& realFolder,
                             const std::filesystem::path& path, bool isLink,
                             std::filesystem::path& realPath);

// True when `path` is `folder` or lies below it, both as ResolveRealPath gives them.
inline bool IsPathWithin(const std::filesystem::path& path, const std::filesystem::path& folder) {
  auto inner = path.begin();
  for (auto outer = folder.begin(); outer != folder.end(); ++outer, ++inner) {
    if (inner == path.end() || *inner != *outer) return false;
  }
  return true;
}
