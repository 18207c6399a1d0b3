#include "package/format/EntryName.h"

#include <cstddef>
#include <string_view>

#include "package/format/AsciiCase.h"

namespace {

// Code page 936: a lead byte always takes the next byte with it. Every separator, ".", " "
// and ":" lies below 0x40, so none of them can be a trail byte; byte-wise tests for them
// are safe once the pairs have been stepped over.
bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

bool IsSeparator(unsigned char c) { return c == '/' || c == '\\'; }

// The system opens the device for the part before the first dot, with spaces before that
// dot ignored: "con.txt" and "CON .log" both reach the console.
bool IsDeviceName(std::string_view component) {
  std::string_view base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);

  static constexpr std::string_view kDevices[] = {"CON", "PRN",    "AUX",
                                                  "NUL", "CONIN$", "CONOUT$"};
  for (std::string_view device : kDevices) {
    if (EqualsIgnoringAsciiCase(base, device)) return true;
  }
  if (base.size() == 4 && base[3] >= '1' && base[3] <= '9') {
    const std::string_view stem = base.substr(0, 3);
    return EqualsIgnoringAsciiCase(stem, "COM") || EqualsIgnoringAsciiCase(stem, "LPT");
  }
  return false;
}

// Covers "." and ".." as well: the path layer drops trailing dots and spaces.
bool IsDangerousComponent(std::string_view component) {
  if (component.empty()) return false;
  return component.back() == '.' || component.back() == ' ' || IsDeviceName(component);
}

bool IsSafeComponent(std::string_view component) {
  return !component.empty() && !IsDangerousComponent(component);
}

// A single-byte code page takes every 0x5C for a separator, also the second byte of a code
// page 936 pair: "\x81\\NUL" is one character there, but the device NUL below folder
// "\x81" here. Empty components only come from such pairs (the code page 936 reading refuses
// the others); they are harmless, so only dangerous components count.
bool IsSafeInSingleByteCodePage(std::string_view text) {
  size_t componentStart = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !IsSeparator(static_cast<unsigned char>(text[i]))) continue;
    if (IsDangerousComponent(text.substr(componentStart, i - componentStart))) return false;
    componentStart = i + 1;
  }
  return true;
}

bool IsSafeInCodePage936(std::string_view text) {
  size_t componentStart = 0;
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (IsLeadByte(c)) {
      if (i + 1 == text.size() || !IsTrailByte(static_cast<unsigned char>(text[i + 1]))) {
        return false;
      }
      i += 2;
      continue;
    }
    if (c < 0x20 || c == ':') return false;
    if (IsSeparator(c)) {
      // An empty first component is a leading separator, which would make the name absolute.
      if (!IsSafeComponent(text.substr(componentStart, i - componentStart))) return false;
      componentStart = i + 1;
    }
    ++i;
  }
  return IsSafeComponent(text.substr(componentStart));
}

}  // namespace

bool IsSafeEntryName(const std::string& name) {
  return IsSafeInCodePage936(name) && IsSafeInSingleByteCodePage(name);
}
