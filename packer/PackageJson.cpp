#include "packer/PackageJson.h"

#include <cstdio>

#include "package/PackageIndex.h"
#include "packer/CodePage936.h"

namespace {

// `utf8` as a JSON string: quotes, backslashes and control characters escaped.
std::string Quote(const std::string& utf8) {
  std::string quoted = "\"";
  for (char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
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
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::string QuoteCp936(const std::string& cp936) {
  std::string utf8;
  if (ConvertCp936ToUtf8(cp936, utf8)) return Quote(utf8);
  std::string shown;
  for (char c : cp936) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return Quote(shown);
}

}  // namespace

std::string FormatPackageJson(const PackageReport& report) {
  std::string json = "{\"installer\": " + Quote(report.installerPath) + ",\n \"signature\": ";
  const PackageEnd& end = report.packageEnd;
  if (!report.signatureKnown) {
    json += "null";
  } else if (end.certificateTableLength == 0) {
    json += "{\"signed\": false}";
  } else {
    json += "{\"signed\": true, \"certificateTableOffset\": " +
            std::to_string(end.certificateTableOffset) + ", \"certificateTableLength\": " +
            std::to_string(end.certificateTableLength) + "}";
  }
  json += ",\n \"manifest\": ";
  if (report.manifest) {
    const ManifestSummary& manifest = *report.manifest;
    json += "{\"patchVersion\": " + Quote(FormatGameVersion(manifest.patchVersion)) +
            ", \"rule\": " + QuoteCp936(manifest.ruleToken) +
            ", \"ruleValid\": " + (manifest.rule == RuleInvalid ? "false" : "true") +
            ", \"requiredVersion\": " + Quote(FormatGameVersion(manifest.requiredVersion)) +
            ",\n              \"notes\": " + QuoteCp936(manifest.notes) + "}";
  } else {
    json += "null";
  }
  uint64_t contentLength = 0;
  size_t entryCount = 0;
  std::string entries;
  if (report.listEntries) {
    for (const auto& [name, entry] : PackageIndex) {
      entries += std::string(entryCount == 0 ? "\n  " : ",\n  ") + "{\"name\": " +
                 QuoteCp936(name) + ", \"size\": " + std::to_string(entry.size) +
                 ", \"offset\": " + std::to_string(entry.offset) +
                 ", \"aux1\": " + std::to_string(entry.aux1) +
                 ", \"aux2\": " + std::to_string(entry.aux2) +
                 ", \"aux3\": " + std::to_string(entry.aux3) + "}";
      contentLength += entry.size;
      ++entryCount;
    }
  }
  json += ",\n \"entryCount\": " + std::to_string(entryCount) +
          ", \"contentLength\": " + std::to_string(contentLength) +
          ",\n \"entries\": [" + entries + (entries.empty() ? "]" : "\n ]");
  if (report.hasVerdict) {
    json += ",\n \"verified\": " + std::string(report.verified ? "true" : "false") +
            ", \"problem\": " + (report.verified ? std::string("null") : Quote(report.problem));
  }
  return json + "}\n";
}
