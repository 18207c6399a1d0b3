#pragma once
// Entry names that Windows cannot hold side by side: one name used both as a file and as a
// folder. Windows does not tell letter case apart, so "Data/A" and "Data/a/b.dat" (also
// "Data/Д" and "Data/д/b.dat") clash as well; the installer would stop at the second of
// the two.

#include <string>
#include <vector>

struct NameClash {
  std::string fileName;    // the entry that is a file
  std::string folderUser;  // an entry that needs a folder of the same name
};

// `names` are code page 936 entry names with "/" or "\" between folders, as the installer
// reads them: a trail byte is never a separator, and letter case is folded on the
// characters the name decodes to. One clash per file
// name, in the order of `names`.
std::vector<NameClash> FindFileFolderClashes(const std::vector<std::string>& names);
