#pragma once
// How the driver writes texts into its transcript, shared with the tests that build the
// expected lines, so that both always escape alike.

#include <cstdio>
#include <string>

// "\" CR LF and TAB get a backslash; other control bytes become "\xHH". UTF-8 passes as is.
inline std::string EscapeTranscriptText(const std::string& utf8) {
  std::string escaped;
  for (char c : utf8) {
    switch (c) {
      case '\\': escaped += "\\\\"; break;
      case '\r': escaped += "\\r"; break;
      case '\n': escaped += "\\n"; break;
      case '\t': escaped += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
          escaped += hex;
        } else {
          escaped += c;
        }
    }
  }
  return escaped;
}
