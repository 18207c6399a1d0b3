#pragma once
// The files a patch is built from: every regular file below the source folder, named by
// its path relative to that folder.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct SourceFile {
  std::string entryName;    // code page 936, "/" between folders
  std::string displayName;  // the same path in UTF-8, for messages
  std::filesystem::path path;
  uint64_t size = 0;  // at the time of the walk
};

struct SourceTree {
  std::vector<SourceFile> files;            // sorted by entry name in the index's order
  std::vector<std::string> excludedNames;   // left out by a pattern; folders end in "/"
  std::vector<std::string> problems;        // "<relative path>: <reason>", in walk order
};

// Walks `root`, following symbolic links whose targets lie inside it (a link's entry holds
// its target's content), and leaves out what `excludePatterns` match
// (vantis-pack/names/ExcludePattern.h) without looking inside. Every problem is recorded and the walk
// goes on: links that lead outside `root` or nowhere, link loops, anything that is neither
// file nor folder, names that cannot become entry names (vantis-pack/names/PackableName.h), names
// that differ only in letter case, which Windows would store as one file, and a name used
// both as a file and as a folder. `tree.files` holds the files without problems. Empty
// folders give no entry, and the tool's own temporary files (IsStagedFileName) none
// either. False when there is any problem.
bool ReadSourceTree(const std::filesystem::path& root,
                    const std::vector<std::string>& excludePatterns, SourceTree& tree);
