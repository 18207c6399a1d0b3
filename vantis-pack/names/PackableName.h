#pragma once
// Which file names can become entry names: the installer's own rule (package/format/EntryName.h)
// and what Windows can create at all.

#include <string>

constexpr size_t kMaxNameComponentLength = 255;  // bytes; NTFS holds 255 characters
constexpr size_t kMaxEntryNameLength = 259;      // MAX_PATH less the terminator

// `utf8Name` is a relative path in UTF-8 with "/" between folders, as found on disk. On
// success `entryName` is the same path in code page 936; otherwise `reason` says why, in
// words that fit after "<name>: ".
bool ConvertToPackableName(const std::string& utf8Name, std::string& entryName,
                           std::string& reason);
