// Property: a name that IsSafeEntryName accepts stays below the game folder, judged here
// byte by byte, independently of its code: it is not empty, does not start with "/" or "\",
// holds no ":" and no control byte; no component ends in "." or " " (which covers "." and
// ".."), splitting at every "/" and "\" byte; and no component is empty, splitting at every
// "/" and at every "\" except one right after a byte 0x81-0xFE, which may be the second half
// of a code page 936 character; and no component is a device name, splitting at every "/"
// and "\" byte, as a single-byte code page does. The verdict does not change when every "/"
// of its own becomes "\".

#include <string>
#include <string_view>

#include "FuzzTarget.h"
#include "package/format/EntryName.h"

namespace {

bool IsSeparatorByte(char byte) { return byte == '/' || byte == '\\'; }

bool IsLeadByte(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  return value >= 0x81 && value <= 0xFE;
}

// The components between separators, for a given choice of what separates.
template <typename IsSeparatorAt, typename Check>
bool EveryComponent(const std::string& name, IsSeparatorAt isSeparatorAt, Check check) {
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && !isSeparatorAt(i)) continue;
    if (!check(std::string_view(name).substr(start, i - start))) return false;
    start = i + 1;
  }
  return true;
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9 and LPT1-9, in any case, before the first dot
// and any spaces ahead of it.
bool IsDevice(std::string_view component) {
  std::string base(component.substr(0, component.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
      base == "CONOUT$") {
    return true;
  }
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

bool StaysBelowTheFolder(const std::string& name) {
  if (name.empty() || IsSeparatorByte(name.front())) return false;
  for (char byte : name) {
    if (static_cast<unsigned char>(byte) < 0x20 || byte == ':') return false;
  }
  const auto anySeparator = [&name](size_t i) { return IsSeparatorByte(name[i]); };
  const auto noDotOrSpaceEnding = [](std::string_view component) {
    return component.empty() || (component.back() != '.' && component.back() != ' ');
  };
  const auto plainSeparator = [&name](size_t i) {
    return name[i] == '/' || (name[i] == '\\' && !(i > 0 && IsLeadByte(name[i - 1])));
  };
  const auto notEmpty = [](std::string_view component) { return !component.empty(); };
  const auto notDevice = [](std::string_view component) { return !IsDevice(component); };
  return EveryComponent(name, anySeparator, noDotOrSpaceEnding) &&
         EveryComponent(name, anySeparator, notDevice) &&
         EveryComponent(name, plainSeparator, notEmpty);
}

// Every "/" that is a byte of its own, not the second byte of a code page 936 pair, made "\".
std::string WithBackslashes(std::string name) {
  for (size_t i = 0; i < name.size(); ++i) {
    if (IsLeadByte(name[i])) {
      ++i;
    } else if (name[i] == '/') {
      name[i] = '\\';
    }
  }
  return name;
}

}  // namespace

int FuzzOne(const uint8_t* data, size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  const bool accepted = IsSafeEntryName(name);
  if (accepted) FUZZ_CHECK(StaysBelowTheFolder(name));
  FUZZ_CHECK(IsSafeEntryName(WithBackslashes(name)) == accepted);
  return 0;
}
