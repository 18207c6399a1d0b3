#include "vantis-pack/report/PackageJson.h"

#include "vantis-pack/report/JsonText.h"

namespace {

std::string StorageFields(const EntryStorage& storage) {
  const EntryEncoding& encoding = storage.encoding;
  std::string fields = ", \"kind\": " +
                       (storage.kindKnown ? JsonString(EntryKindName(encoding.kind)) : "null") +
                       ", \"installedSize\": " +
                       (storage.encodingRead ? std::to_string(encoding.installedSize) : "null");
  if (storage.encodingRead && encoding.kind == EntryKind::kDelta) {
    fields += ", \"sourceSize\": " + std::to_string(encoding.sourceSize);
  }
  return fields;
}

}  // namespace

std::string FormatPackageJson(const PackageReport& report) {
  std::string json = "{\"formatVersion\": " + std::to_string(kJsonFormatVersion) + ", " +
                     JsonHostTextField("installer", report.installerPath);
  json += ",\n \"signature\": ";
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
    const PatchManifest& manifest = *report.manifest;
    json += "{\"patchVersion\": " + JsonString(FormatGameVersion(manifest.patchVersion)) +
            ", " + JsonCp936Field("rule", manifest.ruleToken) +
            ", \"ruleValid\": " + (manifest.rule == RuleInvalid ? "false" : "true") +
            ", \"requiredVersion\": " + JsonString(FormatGameVersion(manifest.requiredVersion)) +
            ",\n              " + JsonCp936Field("notes", manifest.notes) + "}";
  } else {
    json += "null";
  }
  json += ",\n \"integrity\": ";
  if (!report.package) {
    json += "null";
  } else {
    const PackageIntegrity& integrity = report.package->volumes.front().integrity;
    json += integrity.present
                ? std::string("{\"present\": true, \"frameIntact\": ") +
                      (integrity.frameIntact ? "true" : "false") + ", \"directoryIntact\": " +
                      (integrity.frameIntact && integrity.directoryIntact ? "true" : "false") +
                      "}"
                : std::string("{\"present\": false}");
  }
  uint64_t contentLength = 0;
  size_t entryCount = 0;
  std::string entries;
  if (report.package) {
    for (const auto& [name, entry] : report.package->index) {
      entries += std::string(entryCount == 0 ? "\n  " : ",\n  ") + "{" +
                 JsonCp936Field("name", name) +
                 ", \"size\": " + std::to_string(entry.size) +
                 ", \"offset\": " + std::to_string(entry.offset) +
                 ", \"aux1\": " + std::to_string(entry.aux1) +
                 ", \"aux2\": " + std::to_string(entry.aux2) +
                 ", \"aux3\": " + std::to_string(entry.aux3);
      if (report.storages && entryCount < report.storages->size()) {
        entries += StorageFields((*report.storages)[entryCount]);
      }
      entries += "}";
      contentLength += entry.size;
      ++entryCount;
    }
  }
  json += ",\n \"entryCount\": " + std::to_string(entryCount) +
          ", \"contentLength\": " + std::to_string(contentLength) +
          ",\n \"entries\": [" + entries + (entries.empty() ? "]" : "\n ]");
  if (report.hasVerdict) {
    json += ",\n \"verified\": " + std::string(report.verified ? "true" : "false") +
            ", \"problem\": " +
            (report.verified ? std::string("null") : JsonString(report.problem));
    std::string damaged;
    if (report.damagedEntries) {
      for (const std::string& name : *report.damagedEntries) {
        damaged += std::string(damaged.empty() ? "" : ", ") + "{" +
                   JsonCp936Field("name", name) + "}";
      }
    }
    json += ",\n \"damagedEntries\": [" + damaged + "]";
  } else {
    json += ",\n \"problem\": " +
            (report.problem.empty() ? std::string("null") : JsonString(report.problem));
  }
  return json + "}\n";
}
