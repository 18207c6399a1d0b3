#pragma once
// `list --json` and `verify --json`: the open package (package/PackageIndex.h) as one JSON
// object, for scripts:
//
//   {"installer": PATH,
//    "signature": {"signed": true, "certificateTableOffset": BYTE,
//                  "certificateTableLength": BYTES} or {"signed": false}; null when the
//                  file cannot be read,
//    "manifest": {"patchVersion": "1.0.5", "rule": "<=", "ruleValid": true,
//                 "requiredVersion": "1.0.4", "notes": TEXT} or null without config.txt,
//    "entryCount": N, "contentLength": BYTES,
//    "entries": [{"name": NAME, "size": BYTES, "offset": BYTE, "aux1": 0, "aux2": 0,
//                 "aux3": 0}, ...],                       in the order the installer installs
//    "verified": true or false, "problem": null or TEXT}  verify only
//
// Names and notes are code page 936 in the package and UTF-8 here; a byte that is not valid
// code page 936 appears as the four characters \xNN.

#include <string>

#include "package/format/PackageEnd.h"
#include "vantis-pack/ManifestSummary.h"

struct PackageReport {
  std::string installerPath;           // UTF-8
  bool signatureKnown = false;
  PackageEnd packageEnd;               // with signatureKnown
  const ManifestSummary* manifest = nullptr;  // null: no config.txt
  bool listEntries = true;             // false: the package did not open
  bool hasVerdict = false;             // verify's fields
  bool verified = false;
  std::string problem;                 // UTF-8, when not verified
};

std::string FormatPackageJson(const PackageReport& report);
