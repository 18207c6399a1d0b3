#include "vantis-pack/report/ResultJson.h"

#include "vantis-pack/report/JsonText.h"

namespace {

std::string JsonBool(bool value) { return value ? "true" : "false"; }

std::string JsonProblem(const std::string& problem) {
  return problem.empty() ? std::string("null") : JsonString(problem);
}

std::string JsonStrings(const std::vector<std::string>& texts) {
  std::string list;
  for (const std::string& text : texts) list += (list.empty() ? "" : ", ") + JsonString(text);
  return "[" + list + "]";
}

}  // namespace

std::string FormatPackJson(const PackReport& report, const std::string& problem) {
  const bool succeeded = problem.empty();
  std::string json = "{\"formatVersion\": " + std::to_string(kJsonFormatVersion) +
                     ", \"command\": " + JsonString(report.command) + ",\n " +
                     JsonHostTextField("output", report.outputPath) +
                     ", \"dryRun\": " + JsonBool(report.dryRun) +
                     ", \"built\": " + JsonBool(succeeded && !report.dryRun) +
                     ", \"problem\": " + JsonProblem(problem);
  if (!succeeded) return json + "}\n";

  size_t counts[3] = {};  // by EntryKind
  uint64_t contentLength = 0;
  uint64_t installedLength = 0;
  std::string entries;
  for (const PackedEntryReport& entry : report.entries) {
    ++counts[static_cast<size_t>(entry.kind)];
    contentLength += entry.storedSize;
    installedLength += entry.installedSize;
    entries += std::string(entries.empty() ? "\n  " : ",\n  ") + "{" +
               JsonCp936Field("name", entry.name) +
               ", \"kind\": " + JsonString(EntryKindName(entry.kind)) +
               ", \"size\": " + std::to_string(entry.storedSize) +
               ", \"installedSize\": " + std::to_string(entry.installedSize) + "}";
  }
  json += ",\n \"outputSize\": " + std::to_string(report.outputLength) + ", \"sha256\": " +
          (report.sha256.empty() ? std::string("null") : JsonString(report.sha256)) +
          ", \"key\": " + (report.keyGiven ? "\"given\"" : "\"random\"") + ",\n " +
          JsonHostTextField("installerProgram", report.stubPath) +
          ",\n \"entryCount\": " + std::to_string(report.entries.size()) +
          ", \"wholeCount\": " + std::to_string(counts[static_cast<size_t>(EntryKind::kWhole)]) +
          ", \"compressedCount\": " +
          std::to_string(counts[static_cast<size_t>(EntryKind::kCompressed)]) +
          ", \"deltaCount\": " + std::to_string(counts[static_cast<size_t>(EntryKind::kDelta)]) +
          ",\n \"contentLength\": " + std::to_string(contentLength) +
          ", \"installedLength\": " + std::to_string(installedLength) +
          ",\n \"entries\": [" + entries + (entries.empty() ? "]" : "\n ]") +
          ",\n \"excluded\": " + JsonStrings(report.excludedNames);
  if (report.isDiff) {
    json += ",\n \"new\": " + std::to_string(report.newCount) +
            ", \"changed\": " + std::to_string(report.changedCount) +
            ", \"unchanged\": " + std::to_string(report.unchangedCount) +
            ", \"onlyInOld\": " + JsonStrings(report.onlyInOld);
  }
  return json + "}\n";
}

std::string FormatExtractJson(const ExtractReport& report, const std::string& problem) {
  uint64_t installedLength = 0;
  std::string files;
  for (const ExtractedFile& file : report.files) {
    installedLength += file.size;
    files += std::string(files.empty() ? "\n  " : ",\n  ") + "{" +
             JsonCp936Field("name", file.name) + ", \"size\": " + std::to_string(file.size) + "}";
  }
  return "{\"formatVersion\": " + std::to_string(kJsonFormatVersion) + ",\n " +
         JsonHostTextField("installer", report.installerPath) + ",\n " +
         JsonHostTextField("directory", report.folderPath) +
         ",\n \"extracted\": " + JsonBool(problem.empty()) +
         ", \"problem\": " + JsonProblem(problem) +
         ",\n \"fileCount\": " + std::to_string(report.files.size()) +
         ", \"installedLength\": " + std::to_string(installedLength) +
         ",\n \"files\": [" + files + (files.empty() ? "]" : "\n ]") + "}\n";
}
