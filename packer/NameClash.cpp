#include "packer/NameClash.h"

#include <map>

namespace {

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// The name as Windows compares it: one separator, ASCII letters in lower case. The two
// bytes of a code page 936 character are kept as they are.
std::string ComparisonKey(const std::string& name) {
  std::string key;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (IsLeadByte(c) && i + 1 < name.size()) {
      key += name[i];
      key += name[++i];
    } else if (c == '\\') {
      key += '/';
    } else if (c >= 'A' && c <= 'Z') {
      key += static_cast<char>(c - 'A' + 'a');
    } else {
      key += name[i];
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
