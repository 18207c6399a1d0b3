#include "vantis-pack/names/NameClash.h"

#include <map>

#include "package/format/AsciiCase.h"
#include "vantis-pack/host/CodePage936.h"
#include "vantis-pack/names/WindowsNameKey.h"

namespace {

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// The name as Windows compares it (vantis-pack/names/WindowsNameKey.h). A name that is no valid
// code page 936 keeps its bytes, with only ASCII letters folded and never a trail byte;
// its key starts with a zero byte, which no name holds, so that it meets no decoded key.
std::string ComparisonKey(const std::string& name) {
  std::string utf8;
  if (ConvertCp936ToUtf8(name, utf8)) return WindowsNameKey(utf8);
  std::string key(1, '\0');
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (IsLeadByte(c) && i + 1 < name.size()) {
      key += name[i];
      key += name[++i];
    } else if (c == '\\') {
      key += '/';
    } else {
      key += ToLowerAscii(name[i]);
    }
  }
  return key;
}

}  // namespace

std::vector<NameClash> FindFileFolderClashes(const std::vector<std::string>& names) {
  std::map<std::string, const std::string*> folders;  // key to the first entry needing it
  std::vector<std::string> keys;
  for (const std::string& name : names) {
    keys.push_back(ComparisonKey(name));
    const std::string& key = keys.back();
    // "/" below 0x40 is never a trail byte, so it separates wherever it is found.
    for (size_t slash = key.find('/'); slash != std::string::npos;
         slash = key.find('/', slash + 1)) {
      folders.emplace(key.substr(0, slash), &name);
    }
  }
  std::vector<NameClash> clashes;
  for (size_t i = 0; i < names.size(); ++i) {
    const auto folder = folders.find(keys[i]);
    if (folder != folders.end()) clashes.push_back({names[i], *folder->second});
  }
  return clashes;
}
