#include "packer/ManifestWarnings.h"

#include <cstdio>

#include "app/GameVersion.h"
#include "app/PatchManifest.h"
#include "packer/CodePage936.h"
#include "packer/ManifestSummary.h"

namespace {

bool IsManifestSpace(char byte) {
  return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\r';
}

bool IsDigit(char byte) { return byte >= '0' && byte <= '9'; }

// One number as the installer's scanner reads it, and where its digits stand.
struct ScannedNumber {
  int32_t value = 0;
  size_t digitsStart = 0;  // offset in the text; equal to digitsEnd when there are none
  size_t digitsEnd = 0;
};

struct ScannedVersion {
  ScannedNumber numbers[3];
};

ScannedVersion ScanVersion(const char* text, const char*& cursor) {
  ScannedVersion version;
  for (ScannedNumber& number : version.numbers) {
    const char* before = cursor;
    number.value = ScanVersionNumber(cursor);
    const char* begin = cursor;
    while (begin > before && IsDigit(begin[-1])) --begin;
    number.digitsStart = static_cast<size_t>(begin - text);
    number.digitsEnd = static_cast<size_t>(cursor - text);
  }
  return version;
}

GameVersion Pack(const ScannedVersion& version) {
  return PackGameVersion(version.numbers[0].value, version.numbers[1].value,
                         version.numbers[2].value);
}

void CheckVersion(const std::string& text, const ScannedVersion& version, const char* role,
                  size_t firstLineEnd, std::vector<std::string>& warnings) {
  static constexpr const char* kFields[] = {"major", "minor", "build"};
  static constexpr int32_t kLimits[] = {255, 255, 65535};
  for (size_t i = 0; i < 3; ++i) {
    const ScannedNumber& number = version.numbers[i];
    const std::string digits =
        text.substr(number.digitsStart, number.digitsEnd - number.digitsStart);
    if (number.value > kLimits[i]) {
      warnings.push_back(std::string("the ") + role + " version's " + kFields[i] + " number " +
                         digits + " is above " + std::to_string(kLimits[i]) +
                         "; the installer takes the version as " +
                         FormatGameVersion(Pack(version)));
    }
    if (!digits.empty() && number.digitsStart > firstLineEnd) {
      warnings.push_back(std::string("the ") + role + " version's " + kFields[i] + " number " +
                         digits + " is read from after the first line; the installer takes "
                         "the version as " + FormatGameVersion(Pack(version)));
    }
  }
}

}  // namespace

std::vector<std::string> FindManifestWarnings(const std::string& manifest) {
  // The installer scans a zero-terminated text.
  const std::string text = manifest.substr(0, manifest.find('\0'));
  const size_t newline = text.find('\n');
  const size_t firstLineEnd = newline == std::string::npos ? text.size() : newline;

  const char* cursor = text.c_str();
  const ScannedVersion patch = ScanVersion(text.c_str(), cursor);
  while (IsManifestSpace(*cursor)) ++cursor;
  const char* token = cursor;
  while (*cursor != '\0' && !IsManifestSpace(*cursor)) ++cursor;
  const std::string rule(token, static_cast<size_t>(cursor - token));
  const ScannedVersion required = ScanVersion(text.c_str(), cursor);

  std::vector<std::string> warnings;
  CheckVersion(text, patch, "patch", firstLineEnd, warnings);
  CheckVersion(text, required, "required", firstLineEnd, warnings);

  const size_t afterRequired = static_cast<size_t>(cursor - text.c_str());
  if (afterRequired < firstLineEnd) {
    std::string rest = text.substr(afterRequired, firstLineEnd - afterRequired);
    while (!rest.empty() && IsManifestSpace(rest.back())) rest.pop_back();
    size_t start = 0;
    while (start < rest.size() && IsManifestSpace(rest[start])) ++start;
    if (start < rest.size()) {
      warnings.push_back("text after the required version on the first line, " +
                         QuoteFirstLine(rest.substr(start)) +
                         "; the installer shows it as the start of the notes");
    }
  }

  if (rule == "<=" && Pack(patch) <= Pack(required)) {
    warnings.push_back("under rule \"<=\" the patch version " + FormatGameVersion(Pack(patch)) +
                       " is not above the required version " +
                       FormatGameVersion(Pack(required)) +
                       "; a game the rule admits at or above " +
                       FormatGameVersion(Pack(patch)) +
                       " is asked whether to install it again");
  }
  return warnings;
}

std::string QuoteFirstLine(const std::string& manifest) {
  std::string line = manifest.substr(0, manifest.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::string utf8;
  const bool valid = ConvertCp936ToUtf8(line, utf8);
  const std::string& shown = valid ? utf8 : line;
  std::string quoted = "\"";
  for (char c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || (!valid && byte >= 0x80)) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}
