#include "vantis-pack/names/WindowsNameKey.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace {

struct UpperCaseRun {
  uint16_t first;
  uint16_t last;
  uint16_t stride;
  int32_t offset;
};

constexpr UpperCaseRun kUpperCaseRuns[] = {
#include "vantis-pack/names/UpperCaseTable.inc"
};

// Code points outside the Basic Multilingual Plane keep their case: Windows upper-cases
// UTF-16 units one by one, and a surrogate has no upper case.
uint32_t ToUpper(uint32_t code) {
  const auto* run = std::upper_bound(
      std::begin(kUpperCaseRuns), std::end(kUpperCaseRuns), code,
      [](uint32_t value, const UpperCaseRun& candidate) { return value < candidate.first; });
  if (run == std::begin(kUpperCaseRuns)) return code;
  --run;
  if (code > run->last || (code - run->first) % run->stride != 0) return code;
  return static_cast<uint32_t>(static_cast<int32_t>(code) + run->offset);
}

void AppendUtf8(uint32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The code point at `text[i]` and its length in bytes; 0 bytes when the sequence there is
// no valid UTF-8 (overlong forms, surrogates and values past U+10FFFF included).
size_t DecodeUtf8(const std::string& text, size_t i, uint32_t& code) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t length = 0;
  uint32_t minimum = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1Fu, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0Fu, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07u, minimum = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3Fu);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string WindowsNameKey(const std::string& utf8) {
  std::string key;
  key.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    uint32_t code = 0;
    const size_t length = DecodeUtf8(utf8, i, code);
    if (length == 0) {
      key += utf8[i++];
      continue;
    }
    i += length;
    AppendUtf8(code == '\\' ? '/' : ToUpper(code), key);
  }
  return key;
}
