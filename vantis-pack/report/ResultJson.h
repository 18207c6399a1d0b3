#pragma once
// build, diff and extract --json: what the command made, as one JSON object for scripts
// (list and verify: vantis-pack/report/PackageJson.h).
//
// build and diff:
//   {"formatVersion": 1, "command": "build" or "diff", "output": PATH, "dryRun": false,
//    "built": true (false for a dry run and on failure), "problem": null or TEXT,
//    and when it succeeded, a dry run too:
//    "outputSize": BYTES, "sha256": HEX (null for a dry run), "key": "given" or "random",
//    "installerProgram": PATH, "entryCount": N, "wholeCount": N, "compressedCount": N,
//    "deltaCount": N, "contentLength": BYTES stored, "installedLength": BYTES,
//    "entries": [{"name": NAME, "kind": "whole", "size": BYTES, "installedSize": BYTES}, ...]
//               in the index's order, "size" as stored,
//    "excluded": [NAME, ...]   what --exclude left out, folders ending in "/",
//    and for diff: "new": N, "changed": N, "unchanged": N, "onlyInOld": [NAME, ...]}
// extract:
//   {"formatVersion": 1, "installer": PATH, "directory": PATH, "extracted": true or false,
//    "problem": null or TEXT, "fileCount": N, "installedLength": BYTES,
//    "files": [{"name": NAME, "size": BYTES}, ...]}  each file written, also before a failure
//
// Entry names are code page 936 and paths the host's bytes: where one is not exactly text,
// a "...Bytes" field follows with its bytes in hex, as in PackageJson.h.

#include <cstdint>
#include <string>
#include <vector>

#include "package/format/EntryEncoding.h"

struct PackedEntryReport {
  std::string name;  // code page 936, as stored
  EntryKind kind = EntryKind::kWhole;
  uint64_t storedSize = 0;
  uint64_t installedSize = 0;
};

struct PackReport {
  std::string command = "build";
  std::string outputPath;  // the host's bytes
  bool dryRun = false;
  // The rest is filled once the installer is written, or a dry run has planned it.
  bool keyGiven = false;
  std::string stubPath;
  uint64_t outputLength = 0;
  std::string sha256;  // empty for a dry run
  std::vector<PackedEntryReport> entries;
  std::vector<std::string> excludedNames;  // UTF-8
  bool isDiff = false;
  size_t newCount = 0;
  size_t changedCount = 0;
  size_t unchangedCount = 0;
  std::vector<std::string> onlyInOld;  // UTF-8
};

struct ExtractedFile {
  std::string name;  // code page 936, as stored
  uint64_t size = 0;
};

struct ExtractReport {
  std::string installerPath;  // the host's bytes
  std::string folderPath;
  std::vector<ExtractedFile> files;  // each one written, in order
};

// `problem`: empty when the command succeeded, else its error.
std::string FormatPackJson(const PackReport& report, const std::string& problem);
std::string FormatExtractJson(const ExtractReport& report, const std::string& problem);
