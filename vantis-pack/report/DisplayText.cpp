#include "vantis-pack/report/DisplayText.h"

#include <cstdio>

#include "vantis-pack/host/CodePage936.h"

std::string ForDisplay(const std::string& cp936, bool keepLineEnds) {
  std::string utf8;
  const bool valid = ConvertCp936ToUtf8(cp936, utf8);
  const std::string& text = valid ? utf8 : cp936;
  std::string shown;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (keepLineEnds && (c == '\n' || c == '\t')) {
      shown += c;
    } else if (keepLineEnds && c == '\r') {
      continue;
    } else if (byte < 0x20 || byte == 0x7F || (!valid && byte >= 0x80)) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return shown;
}
