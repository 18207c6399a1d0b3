#include "vantis-pack/report/ManifestEncoding.h"

#include <cstddef>
#include <cstdint>

#include "package/format/AsciiCase.h"
#include "vantis-pack/host/CodePage936.h"

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

bool HasNonAscii(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

// Where conversion failed: the first character that code page 936 lacks, with its line.
std::string DescribeUnmappable(const std::string& utf8) {
  size_t line = 1;
  size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    size_t length = 1;
    if (lead >= 0xF0) {
      length = 4;
    } else if (lead >= 0xE0) {
      length = 3;
    } else if (lead >= 0xC0) {
      length = 2;
    }
    const std::string character = utf8.substr(i, length);
    std::string ignored;
    if (!ConvertUtf8ToCp936(character, ignored)) {
      return "\"" + character + "\" on line " + std::to_string(line);
    }
    if (lead == '\n') ++line;
    i += length;
  }
  return "a character";
}

}  // namespace

bool ParseNotesEncoding(const std::string& text, NotesEncoding& encoding) {
  const std::string name = ToLowerAscii(text);
  if (name == "auto") {
    encoding = NotesEncoding::kAuto;
  } else if (name == "utf-8" || name == "utf8") {
    encoding = NotesEncoding::kUtf8;
  } else if (name == "cp936" || name == "gbk") {
    encoding = NotesEncoding::kCp936;
  } else {
    return false;
  }
  return true;
}

// Overlong forms, surrogates and values above U+10FFFF are invalid: text that contains
// them was not written as UTF-8, and is most likely code page 936 already.
bool IsValidUtf8(const std::string& text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  size_t i = 0;
  while (i < size) {
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t length = 0;
    uint32_t value = 0;
    uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      value = lead & 0x1Fu;
      minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      value = lead & 0x0Fu;
      minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      value = lead & 0x07u;
      minimum = 0x10000;
    } else {
      return false;
    }
    if (size - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
      value = value << 6 | (bytes[i + k] & 0x3Fu);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

bool EncodeManifestText(const std::string& raw, NotesEncoding encoding, std::string& cp936,
                        std::string& notice, std::string& error) {
  notice.clear();
  const bool hasMark = raw.compare(0, 3, kByteOrderMark) == 0;
  bool fromUtf8 = false;
  switch (encoding) {
    case NotesEncoding::kAuto:
      fromUtf8 = hasMark || (HasNonAscii(raw) && IsValidUtf8(raw));
      break;
    case NotesEncoding::kUtf8:
      fromUtf8 = true;
      break;
    case NotesEncoding::kCp936:
      fromUtf8 = false;
      break;
  }

  if (!fromUtf8) {
    std::string check;
    if (!ConvertCp936ToUtf8(raw, check)) {
      error = encoding == NotesEncoding::kAuto
                  ? "neither valid UTF-8 nor valid code page 936 text"
                  : "not valid code page 936 text";
      return false;
    }
    cp936 = raw;
    return true;
  }

  const std::string text = hasMark ? raw.substr(3) : raw;
  if (!IsValidUtf8(text)) {
    error = "not valid UTF-8 text";
    return false;
  }
  std::string converted;
  if (!ConvertUtf8ToCp936(text, converted)) {
    error = "holds " + DescribeUnmappable(text) + ", which code page 936 cannot store";
    return false;
  }
  cp936.swap(converted);
  if (HasNonAscii(text)) notice = "converted from UTF-8 to code page 936";
  if (hasMark) {
    notice += notice.empty() ? "UTF-8 byte order mark removed" : "; byte order mark removed";
  }
  return true;
}
