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

// Walks `root`, following symbolic links whose targets lie inside it (a link's entry holds
// its target's content). Refuses, with "<relative path>: <reason>" in `error`: links that
// lead outside `root` or nowhere, link loops, anything that is neither file nor folder,
// names that cannot become entry names (packer/PackableName.h), and names that differ only
// in letter case, which Windows would store as one file. On success `files` is sorted by
// entry name in the index's order. Empty folders give no entry.
bool ReadSourceTree(const std::filesystem::path& root, std::vector<SourceFile>& files,
                    std::string& error);
