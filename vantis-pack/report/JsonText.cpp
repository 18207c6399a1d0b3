#include "vantis-pack/report/JsonText.h"

#include <cstdio>

#include "vantis-pack/host/CodePage936.h"

namespace {

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// How many bytes the UTF-8 character at text[at] takes, or 0 when none starts there.
// Strict, as RFC 3629 defines it: no overlong forms, no surrogates, nothing past U+10FFFF.
size_t Utf8CharacterLength(const std::string& text, size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80;   // the second byte's range; later bytes are 0x80 to 0xBF
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[at + k]);
    if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

bool IsUtf8(const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = Utf8CharacterLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return hex;
}

// Code page 936 text in UTF-8, one character at a time where the whole does not convert:
// what decodes stays readable, and each byte that starts no character becomes U+FFFD.
// `exact` tells whether the text converts back to the same bytes.
std::string DecodeCp936(const std::string& cp936, bool& exact) {
  std::string utf8;
  std::string back;
  if (ConvertCp936ToUtf8(cp936, utf8)) {
    exact = ConvertUtf8ToCp936(utf8, back) && back == cp936;
    return utf8;
  }
  exact = false;
  utf8.clear();
  for (size_t at = 0; at < cp936.size();) {
    // A lead byte (0x81 to 0xFE) and its trail byte make one character; any other byte is
    // one on its own.
    const auto byte = static_cast<unsigned char>(cp936[at]);
    const size_t length = byte >= 0x81 && byte <= 0xFE && at + 1 < cp936.size() ? 2 : 1;
    std::string character;
    if (ConvertCp936ToUtf8(cp936.substr(at, length), character)) {
      utf8 += character;
      at += length;
    } else {
      utf8 += kReplacementCharacter;
      ++at;
    }
  }
  return utf8;
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (size_t at = 0; at < text.size();) {
    const char c = text[at];
    const auto byte = static_cast<unsigned char>(c);
    const size_t length = Utf8CharacterLength(text, at);
    if (length == 0) {
      quoted += kReplacementCharacter;
      ++at;
      continue;
    }
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (c == '\n') {
      quoted += "\\n";
    } else if (c == '\r') {
      quoted += "\\r";
    } else if (c == '\t') {
      quoted += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
      quoted += escaped;
    } else {
      quoted.append(text, at, length);
    }
    at += length;
  }
  return quoted + "\"";
}

std::string JsonCp936Field(const std::string& key, const std::string& cp936) {
  bool exact = false;
  const std::string utf8 = DecodeCp936(cp936, exact);
  std::string field = JsonString(key) + ": " + JsonString(utf8);
  if (!exact) field += ", " + JsonString(key + "Bytes") + ": " + JsonString(Hex(cp936));
  return field;
}

std::string JsonHostTextField(const std::string& key, const std::string& text) {
  std::string field = JsonString(key) + ": " + JsonString(text);
  if (!IsUtf8(text)) field += ", " + JsonString(key + "Bytes") + ": " + JsonString(Hex(text));
  return field;
}
