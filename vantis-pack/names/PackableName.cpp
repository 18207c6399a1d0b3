#include "vantis-pack/names/PackableName.h"

#include <cstring>

#include "package/format/EntryName.h"
#include "vantis-pack/host/CodePage936.h"

namespace {

// Windows refuses these in any file name; "\" would also split the name into folders once
// the installer hands it to the file functions.
constexpr char kForbiddenCharacters[] = "<>:\"|?*\\";

// Checked on the UTF-8 text, where an ASCII byte is always the ASCII character: in code
// page 936 a trail byte can look like "|" or "\".
bool CheckComponent(const std::string& component, std::string& reason) {
  if (component.empty()) {
    reason = "empty folder name";
    return false;
  }
  for (char c : component) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20) {
      reason = "control character in the name, which Windows does not allow";
      return false;
    }
    if (std::strchr(kForbiddenCharacters, c) != nullptr) {
      reason = std::string("character '") + c + "' in the name, which Windows does not allow";
      return false;
    }
  }
  if (component.back() == '.' || component.back() == ' ') {
    reason = "name ends with a dot or a space, which Windows drops: it would alias another name";
    return false;
  }
  return true;
}

}  // namespace

bool ConvertToPackableName(const std::string& utf8Name, std::string& entryName,
                           std::string& reason) {
  std::string converted;
  size_t start = 0;
  for (;;) {
    const size_t end = utf8Name.find('/', start);
    const std::string component =
        utf8Name.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!CheckComponent(component, reason)) return false;

    std::string cp936;
    if (!ConvertUtf8ToCp936(component, cp936)) {
      reason = "name is not UTF-8 text in characters that code page 936 holds; the installer "
               "creates files by code page 936 names";
      return false;
    }
    if (!IsSafeEntryName(cp936)) {
      // Everything else the installer's rule refuses has been caught above.
      reason = "reserved device name on Windows (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any "
               "extension)";
      return false;
    }
    if (cp936.size() > kMaxNameComponentLength) {
      reason = "name longer than " + std::to_string(kMaxNameComponentLength) + " bytes";
      return false;
    }
    converted += cp936;
    if (end == std::string::npos) break;
    converted += '/';
    start = end + 1;
  }
  if (converted.size() > kMaxEntryNameLength) {
    reason = "path longer than " + std::to_string(kMaxEntryNameLength) +
             " bytes, more than Windows programs like the installer can open";
    return false;
  }
  // The components passed one by one; the whole name must pass the rule the installer
  // applies when it opens the package.
  if (!IsSafeEntryName(converted)) {
    reason = "the installer refuses this name";
    return false;
  }
  entryName.swap(converted);
  return true;
}
