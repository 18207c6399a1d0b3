#pragma once
// `list --json` and `verify --json`: an opened package (package/Package.h) as one JSON
// object, for scripts:
//
//   {"formatVersion": 1 (vantis-pack/report/JsonText.h),
//    "installer": PATH,
//    "signature": {"signed": true, "certificateTableOffset": BYTE,
//                  "certificateTableLength": BYTES} or {"signed": false}; null when the
//                  file cannot be read,
//    "manifest": {"patchVersion": "1.0.5", "rule": "<=", "ruleValid": true,
//                 "requiredVersion": "1.0.4", "notes": TEXT} or null without config.txt,
//    "integrity": {"present": true, "frameIntact": true, "directoryIntact": true} or
//                 {"present": false} (no integrity data: damage cannot be detected); null
//                 when the package did not open,
//    "entryCount": N, "contentLength": BYTES,
//    "entries": [{"name": NAME, "size": BYTES, "offset": BYTE, "aux1": 0, "aux2": 0,
//                 "aux3": 0, "kind": "whole", "installedSize": BYTES}, ...],
//                 in the order the installer installs; "size" is what is stored, "kind"
//                 "whole", "compressed" or "delta" (null: a kind this reader does not
//                 know), "installedSize" null when the entry's header cannot be read, and
//                 a delta has "sourceSize" after it: the game file's size it applies to
//    "verified": true or false, "problem": null or TEXT,  verify only, with
//    "damagedEntries": [NAME, ...]}      each entry whose data failed to read or check;
//    list has "problem": null or TEXT (why the package or its manifest cannot be read)
//    in their place
//
// Every byte of it is UTF-8, whatever the package and the path hold. Names, rule and notes
// are code page 936 in the package, the path is the host's bytes. Where one of them is not
// exactly text, each byte that starts no character shows as U+FFFD, and a field of the same
// name with "Bytes" added ("nameBytes", "ruleBytes", "notesBytes", "installerBytes") follows
// with its exact bytes in lowercase hexadecimal: the field that tells apart two names that
// show alike. Without that field the text is exact.

#include <string>
#include <vector>

#include "package/Package.h"
#include "package/format/EntryEncoding.h"
#include "package/format/PackageEnd.h"
#include "app/game/PatchManifest.h"

// How an entry is stored, beside its record.
struct EntryStorage {
  bool kindKnown = false;     // false: its record names a kind this reader does not know
  bool encodingRead = false;  // false: its header cannot be read, its sizes are unknown
  EntryEncoding encoding;
};

struct PackageReport {
  std::string installerPath;           // the host's bytes, UTF-8 where valid
  bool signatureKnown = false;
  PackageEnd packageEnd;               // with signatureKnown
  const PatchManifest* manifest = nullptr;  // null: no config.txt
  const Package* package = nullptr;    // null: the package did not open
  const std::vector<EntryStorage>* storages = nullptr;  // in the index's order, with package
  bool hasVerdict = false;             // verify's fields
  bool verified = false;
  std::string problem;  // for people, when not verified; for list, why it failed or empty
  const std::vector<std::string>* damagedEntries = nullptr;  // verify's; null: none
};

std::string FormatPackageJson(const PackageReport& report);
