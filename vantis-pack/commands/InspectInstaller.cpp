#include "vantis-pack/commands/InspectInstaller.h"

#include <cstdio>
#include <map>
#include <set>
#include <vector>

#include "package/EntryDecoding.h"
#include "package/format/EntryName.h"
#include "package/ManifestName.h"
#include "package/Package.h"
#include "package/format/PackageEnd.h"
#include "vantis-pack/host/CodePage936.h"
#include "vantis-pack/report/DisplayText.h"
#include "vantis-pack/host/GameCopySource.h"
#include "vantis-pack/host/HostSystem.h"
#include "app/game/PatchManifest.h"
#include "vantis-pack/report/ManifestText.h"
#include "vantis-pack/report/ManifestWarnings.h"
#include "vantis-pack/names/NameClash.h"
#include "vantis-pack/names/PackableName.h"
#include "vantis-pack/report/PackageJson.h"
#include "vantis-pack/report/ProblemList.h"
#include "vantis-pack/report/Progress.h"
#include "vantis-pack/host/StagedFile.h"
#include "platform/File.h"

namespace fs = std::filesystem;

namespace {


bool OpenInstaller(const fs::path& installer, Package& package, std::string& error) {
  std::error_code failure;
  if (!fs::is_regular_file(installer, failure)) {
    error = installer.u8string() + ": no such file";
    return false;
  }
  if (!ReadPackage(installer.native(), package)) {
    error = installer.u8string() +
            ": no package found, or its trailer, header or directory is damaged; the installer "
            "would refuse to start";
    return false;
  }
  return true;
}

// Whether a certificate table follows the package, as the installer finds it. Whether the
// signature in it is good is for the signing tools to say.
bool ReadPackageEnd(const fs::path& installer, PackageEnd& end) {
  ScopedFile file(OpenFileForSharedRead(installer.native()));
  uint32_t fileSize = 0;
  if (!file.IsOpen() || !GetFileSize32(file.Get(), &fileSize)) return false;
  end = FindPackageEnd(file.Get(), fileSize);
  return true;
}

std::string DescribeSignature(const fs::path& installer) {
  PackageEnd end;
  if (!ReadPackageEnd(installer, end)) return "unknown (cannot be read)";
  if (end.certificateTableLength == 0) return "not signed";
  return "signed, certificate table of " + FormatCount(end.certificateTableLength) +
         " bytes at byte " + FormatCount(end.certificateTableOffset);
}

// What the package's integrity data says of its frame and directory, for people.
std::string DescribeIntegrity(const PackageIntegrity& integrity) {
  if (!integrity.present) {
    return "none (not built by vantis-pack, or by an older one): damage cannot be detected";
  }
  if (!integrity.frameIntact) {
    return "DAMAGED: the header, trailer or integrity block is not as packed";
  }
  if (!integrity.directoryIntact) return "DAMAGED: the directory is not as packed";
  return "CRC-32C of every entry, the directory, header and trailer; the directory, header "
         "and trailer check out";
}

// A package whose integrity data finds its frame or directory damaged: the installer refuses
// it at start-up, and no name, size or offset in it can be trusted.
bool CheckFrameIntegrity(const Package& package, std::string& error) {
  const PackageIntegrity& integrity = package.volumes.front().integrity;
  if (IsFrameAndDirectoryIntact(integrity)) return true;
  error = (integrity.frameIntact ? std::string("the directory")
                                 : std::string("the header, trailer or integrity block")) +
          " is not as packed (its CRC-32C check fails); the installer would refuse to start";
  return false;
}

constexpr char kNotCodePage936[] =
    ": not valid code page 936; Windows would put its own characters in place of the "
    "undefined ones, so no file can be named after it";

// The installer refuses the whole package when any name fails its rule. A name that passes
// it can still be one that Windows cannot create (a "?" in it, a component over 255 bytes):
// the installer then stops at that entry, after writing the ones before it. Such names are
// the ones build refuses, so the same check judges them here.
bool CheckNames(const Package& package, std::string& error) {
  for (const auto& [name, entry] : package.index) {
    if (!IsSafeEntryName(name)) {
      error = ForDisplay(name, false) +
              ": the installer refuses this name (it could write outside the game folder or "
              "to a device) and will not install anything";
      return false;
    }
  }
  std::vector<std::string> problems;
  for (const auto& [name, entry] : package.index) {
    std::string utf8;
    if (!ConvertCp936ToUtf8(name, utf8)) {
      problems.push_back(ForDisplay(name, false) + kNotCodePage936);
      continue;
    }
    // "\" separates folders for the installer as "/" does.
    for (char& c : utf8) {
      if (c == '\\') c = '/';
    }
    std::string packable;
    std::string reason;
    if (!ConvertToPackableName(utf8, packable, reason)) {
      problems.push_back(ForDisplay(name, false) + ": " + reason +
                         "; the installer cannot create it");
    }
  }
  if (problems.empty()) return true;
  error = DescribeProblems(problems);
  return false;
}

// Each name used both as a file and as a folder: the installer stops at the second.
bool CheckFileFolderClashes(const Package& package, std::string& error) {
  std::vector<std::string> names;
  for (const auto& item : package.index) names.push_back(item.first);
  std::vector<std::string> problems;
  for (const NameClash& clash : FindFileFolderClashes(names)) {
    problems.push_back(ForDisplay(clash.fileName, false) + ": is a file, but " +
                       ForDisplay(clash.folderUser, false) +
                       " needs a folder of that name (Windows ignores letter case); the "
                       "installer cannot create both");
  }
  if (problems.empty()) return true;
  error = DescribeProblems(problems);
  return false;
}

// Why an entry that failed to read failed: its stored data fails the integrity check (then
// the read itself may have gone through), or it could not be read or decrypted.
std::string DescribeEntryFailure(const Package& package, const std::string& name,
                                 const PackageEntry& entry) {
  const std::string where =
      "data at byte " + FormatCount(entry.offset) + ", " + FormatCount(entry.size) + " bytes)";
  if (!CheckEntryIntegrity(package.volumes, entry)) {
    return ForDisplay(name, false) + ": its data is not as packed (its CRC-32C check fails; " +
           where;
  }
  return ForDisplay(name, false) + ": its data is damaged (reading or decrypting failed; " +
         where;
}

bool ReadManifest(const Package& package, PatchManifest& manifest, std::string& content,
                  std::string& error) {
  const PackageEntry* entry = FindPackageEntry(package, kManifestName);
  if (!entry) {
    error = std::string(kManifestName) + ": missing; the installer needs it to start";
    return false;
  }
  if (!ReadEntry(package.volumes, *entry, content)) {
    error = DescribeEntryFailure(package, kManifestName, *entry) +
            "; the installer would refuse to start";
    return false;
  }
  manifest = ScanPatchManifest(content);
  return true;
}

uint64_t TotalContentLength(const Package& package) {
  uint64_t total = 0;
  for (const auto& item : package.index) total += item.second.size;
  return total;
}

uint64_t ChunksLength(const std::vector<std::string>& chunks) {
  uint64_t length = 0;
  for (const std::string& chunk : chunks) length += chunk.size();
  return length;
}

// How each entry is stored, in the index's order: its kind from its record, its sizes from
// the header at the start of its content.
std::vector<EntryStorage> ReadStorages(const Package& package) {
  std::vector<EntryStorage> storages;
  for (const auto& item : package.index) {
    const PackageEntry& entry = item.second;
    EntryStorage storage;
    storage.kindKnown = entry.volume < package.volumes.size() &&
                        ReadEntryKind(package.volumes[entry.volume].integrity, entry,
                                      storage.encoding.kind);
    storage.encodingRead =
        storage.kindKnown && ReadEntryEncoding(package.volumes, entry, storage.encoding);
    storages.push_back(storage);
  }
  return storages;
}

bool DiscardDecoded(const uint8_t*, uint32_t, void*) { return true; }

// A delta's body: the content after its header, in one piece, as the decoder takes it.
std::string JoinDeltaBody(const std::vector<std::string>& chunks) {
  std::string body;
  size_t skip = kDeltaHeaderLength;
  for (const std::string& chunk : chunks) {
    const size_t from = skip < chunk.size() ? skip : chunk.size();
    skip -= from;
    body.append(chunk, from, std::string::npos);
  }
  return body;
}

// An entry name as a path below the extraction folder. The installer takes "\" as a
// separator too; after the conversion no trail byte can be mistaken for it.
bool ToLocalPath(const std::string& name, fs::path& path) {
  std::string utf8;
  if (!ConvertCp936ToUtf8(name, utf8)) return false;
  for (char& c : utf8) {
    if (c == '\\') c = '/';
  }
  path = fs::u8path(utf8);
  return true;
}

// Every name as a local path, or the first that cannot be one. A file whose path is
// another entry's folder would stop the extraction halfway, so it is refused up front.
bool PlanLocalPaths(const Package& package, std::map<std::string, fs::path>& paths,
                    std::string& error) {
  std::set<fs::path> folders;
  for (const auto& [name, entry] : package.index) {
    fs::path path;
    if (!ToLocalPath(name, path)) {
      error = ForDisplay(name, false) + kNotCodePage936;
      return false;
    }
    for (fs::path folder = path.parent_path(); !folder.empty(); folder = folder.parent_path()) {
      folders.insert(folder);
    }
    paths.emplace(name, path);
  }
  for (const auto& [name, path] : paths) {
    if (folders.count(path) != 0) {
      error = ForDisplay(name, false) + ": is a file, but other entries use it as a folder";
      return false;
    }
  }
  return true;
}

// The game's copy that the delta entry `name` applies to, opened into `copy`; with
// `checkContent`, only when it is the very file the delta was made from, which reads it
// whole. `problem` says otherwise which file and why.
bool OpenDeltaSource(const fs::path& gameFolder, const std::string& name,
                     const EntryEncoding& encoding, bool checkContent, GameCopySource& copy,
                     std::string& problem) {
  fs::path local;
  if (!ToLocalPath(name, local)) {
    problem = ForDisplay(name, false) + kNotCodePage936;
    return false;
  }
  fs::path path = gameFolder / local;
  path.make_preferred();  // shown as the system writes paths
  const std::string shown = ForDisplay(name, false) + ": the delta applies to " + path.u8string();
  switch (OpenGameCopy(path, copy)) {
    case GameCopyOpen::kMissing:
      problem = shown + ", which is missing";
      return false;
    case GameCopyOpen::kUnreadable:
      problem = shown + ", which is no file that can be read";
      return false;
    case GameCopyOpen::kOpened:
      break;
  }
  if (checkContent && !IsDeltaSource(AsDeltaSource(copy), encoding)) {
    problem = shown + ", which does not match: it is not the file the delta was made from (" +
              FormatCount(copy.length) + " bytes; the delta needs " +
              FormatCount(encoding.sourceSize) + " bytes with CRC-32C " +
              std::to_string(encoding.sourceChecksum) + ")";
    return false;
  }
  return true;
}

// Whether an entry read whole into `chunks` decodes to what its header promises: a
// compressed one inflated, a delta applied to the game's copy in `gameFolder`, or without
// one walked through with a source of zeros, which checks all but the result's checksum.
// `chunks` may be used up.
bool CheckEntryDecodes(const Package& package, const std::string& name, const PackageEntry& entry,
                       std::vector<std::string>& chunks, const fs::path& gameFolder,
                       std::string& problem) {
  const std::string shown = ForDisplay(name, false);
  EntryEncoding encoding;
  if (!ReadEntryKind(package.volumes[entry.volume].integrity, entry, encoding.kind)) {
    problem = shown + ": its record names a kind of entry the installer does not know (aux2 " +
              std::to_string(entry.aux2) + ")";
    return false;
  }
  if (encoding.kind == EntryKind::kWhole) return true;
  const std::string kind = EntryKindName(encoding.kind);
  if (chunks.empty() || !ParseEntryHeader(reinterpret_cast<const uint8_t*>(chunks[0].data()),
                                          chunks[0].size(), encoding)) {
    problem = shown + ": its " + kind + " entry's header is cut short";
    return false;
  }
  const std::string damaged = shown + ": its " + kind + " data does not decode to the " +
                              FormatCount(encoding.installedSize) + " bytes it promises";
  if (encoding.kind == EntryKind::kDelta && gameFolder.empty()) {
    const std::string body = JoinDeltaBody(chunks);
    uint64_t targetLength = 0;
    if (!CheckDeltaStructure(reinterpret_cast<const uint8_t*>(body.data()), body.size(),
                             encoding.sourceSize, encoding.installedSize, targetLength) ||
        targetLength != encoding.installedSize) {
      problem = damaged;
      return false;
    }
    return true;
  }
  GameCopySource copy;
  DeltaSource source;
  if (encoding.kind == EntryKind::kDelta) {
    if (!OpenDeltaSource(gameFolder, name, encoding, true, copy, problem)) return false;
    source = AsDeltaSource(copy);
  }
  if (DecodeEntryContent(encoding, chunks, encoding.kind == EntryKind::kDelta ? &source : nullptr,
                         DiscardDecoded, nullptr) == EntryDecodeResult::kDecoded) {
    return true;
  }
  problem = damaged + (encoding.kind == EntryKind::kDelta ? " from that file" : "");
  return false;
}

// Where one entry's chunks go during extraction: straight into the staged file as each is
// decrypted, so that no entry is held in memory whole. A failure to create or write the
// file is kept, and the rest of the entry is still read and decrypted, so that a damaged
// entry is reported as damaged before anything about its file, as when the whole entry
// was read first.
struct EntryWriter {
  StagedFile file;
  bool failed = false;
  std::string error;
  ProgressBar* progress = nullptr;
  const std::string* label = nullptr;
};

bool WriteChunk(const uint8_t* data, uint32_t length, void* context) {
  auto* writer = static_cast<EntryWriter*>(context);
  if (!writer->failed && !writer->file.Write(data, length, writer->error)) writer->failed = true;
  // By chunk: a single large entry would otherwise hold the bar still for minutes.
  writer->progress->Advance(length, *writer->label);
  return true;
}

// The entry's content, read and decrypted as the installer reads it, decoded as it installs
// it (a delta against `source`, the game's copy), written to `target`. On a damaged entry
// `damaged` is set and no file is left behind.
bool WriteEntryToFile(const Package& package, const PackageEntry& entry,
                      const EntryEncoding& encoding, const DeltaSource* source,
                      const fs::path& target, ProgressBar& progress, const std::string& label,
                      bool& damaged, std::string& error) {
  damaged = true;
  EntryWriter writer;
  writer.progress = &progress;
  writer.label = &label;
  if (encoding.kind == EntryKind::kWhole) {
    if (!writer.file.Create(target, writer.error)) writer.failed = true;
    if (!StreamEntry(package.volumes, entry, WriteChunk, &writer)) return false;
  } else {
    // The stored form whole first: it is checked against the integrity data before any of
    // its result reaches the file.
    std::vector<std::string> chunks;
    if (!ReadEntryChunks(package.volumes, chunks, entry)) return false;
    if (!writer.file.Create(target, writer.error)) writer.failed = true;
    if (DecodeEntryContent(encoding, chunks, source, WriteChunk, &writer) !=
        EntryDecodeResult::kDecoded) {
      return false;
    }
  }
  damaged = false;
  if (writer.failed) {
    error = writer.error;
    return false;
  }
  return writer.file.Commit(error);
}

// Creates `relative`'s folders below `root` one level at a time, each only once the level
// above resolves inside `root`: a link already in the tree that leads out of it is found
// before anything is created at its far end.
bool CreateFoldersWithin(const fs::path& root, const fs::path& realRoot,
                         const fs::path& relative, std::string& error) {
  fs::path current = root;
  for (const fs::path& part : relative) {
    current /= part;
    std::error_code failure;
    if (!fs::exists(fs::symlink_status(current, failure))) {
      if (!fs::create_directory(current, failure) && failure) {
        error = "cannot create its folder: " + failure.message();
        return false;
      }
    }
    fs::path realPath;
    if (!ResolveRealPath(current, realPath) || !IsPathWithin(realPath, realRoot)) {
      error = "its folder leads outside " + root.u8string() + ", or nowhere, through a link";
      return false;
    }
    if (!fs::is_directory(realPath, failure)) {
      error = current.u8string() + " is in the way of its folder: not a folder";
      return false;
    }
  }
  return true;
}

// Everything verify checks. `manifestRead` and `opened` say how far it came;
// `damagedEntries` names each entry whose data failed.
bool VerifyPackage(const fs::path& installer, const fs::path& gameFolder, Package& package,
                   CommandOutput& output, PatchManifest& manifest, bool& manifestRead,
                   bool& opened, std::vector<std::string>& damagedEntries, std::string& error) {
  if (!OpenInstaller(installer, package, error)) return false;
  opened = true;
  if (!CheckFrameIntegrity(package, error)) return false;
  if (!CheckNames(package, error) || !CheckFileFolderClashes(package, error)) return false;
  std::string content;
  if (!ReadManifest(package, manifest, content, error)) return false;
  manifestRead = true;
  if (manifest.rule == RuleInvalid) {
    error = std::string(kManifestName) + ": the rule must be \"=\" or \"<=\"; the first line "
            "reads " + QuoteFirstLine(content);
    return false;
  }

  // Every entry, so that every damaged one is named.
  ProgressBar progress(output.progressTerminal, TotalContentLength(package));
  std::vector<std::string> chunks;
  std::vector<std::string> problems;
  for (const auto& [name, entry] : package.index) {
    // The installer's own read: the whole entry, decrypted, as one string per chunk, and
    // checked against the integrity data where the package carries it.
    if (!ReadEntryChunks(package.volumes, chunks, entry)) {
      problems.push_back(DescribeEntryFailure(package, name, entry));
      damagedEntries.push_back(name);
    } else if (ChunksLength(chunks) != entry.size) {
      problems.push_back(ForDisplay(name, false) + ": its data holds " +
                         FormatCount(ChunksLength(chunks)) + " bytes, but the directory says " +
                         FormatCount(entry.size));
      damagedEntries.push_back(name);
    } else {
      std::string problem;
      if (!CheckEntryDecodes(package, name, entry, chunks, gameFolder, problem)) {
        problems.push_back(problem);
        damagedEntries.push_back(name);
      }
    }
    progress.Advance(entry.size, ForDisplay(name, false));
  }
  if (problems.empty()) return true;
  error = DescribeProblems(problems);
  return false;
}

// The entries to extract, in index order: all of them without `names`, else each entry
// that a name gives, or that lies below a folder a name gives. A name that matches nothing
// fails the whole extraction, before anything is written.
bool SelectEntries(const std::map<std::string, fs::path>& localPaths,
                   const std::vector<std::string>& names, std::vector<std::string>& selected,
                   std::string& error) {
  std::vector<std::string> wanted;
  for (std::string name : names) {
    for (char& c : name) {
      if (c == '\\') c = '/';
    }
    while (!name.empty() && name.back() == '/') name.pop_back();
    wanted.push_back(name);
  }
  std::vector<bool> used(wanted.size(), false);
  // The local paths hold every entry, in the index's byte order.
  for (const auto& item : localPaths) {
    const std::string path = item.second.generic_u8string();
    bool take = wanted.empty();
    for (size_t i = 0; i < wanted.size(); ++i) {
      const std::string& name = wanted[i];
      if (path == name || (path.size() > name.size() && path.compare(0, name.size(), name) == 0 &&
                           path[name.size()] == '/')) {
        used[i] = true;
        take = true;
      }
    }
    if (take) selected.push_back(item.first);
  }
  std::vector<std::string> problems;
  for (size_t i = 0; i < wanted.size(); ++i) {
    if (!used[i]) problems.push_back(names[i] + ": no such entry or folder in the installer");
  }
  if (problems.empty()) return true;
  error = DescribeProblems(problems);
  return false;
}

}  // namespace

bool ListInstaller(const fs::path& installer, CommandOutput& output, std::string& error,
                   ReportFormat format) {
  Package package;
  const bool opened = OpenInstaller(installer, package, error);
  if (format == ReportFormat::kJson) {
    // Written on failure too, with what could be read, so that a script gets its document.
    PackageReport report;
    report.installerPath = installer.u8string();
    std::vector<EntryStorage> storages;
    PatchManifest manifest;
    std::string content;
    bool listed = opened;
    if (opened) {
      report.package = &package;
      report.signatureKnown = ReadPackageEnd(installer, report.packageEnd);
      storages = ReadStorages(package);
      report.storages = &storages;
      if (FindPackageEntry(package, kManifestName)) {
        listed = ReadManifest(package, manifest, content, error);
        if (listed) report.manifest = &manifest;
      }
    }
    if (!listed) report.problem = error;
    output.out << FormatPackageJson(report);
    return listed;
  }
  if (!opened) return false;

  std::ostream& out = output.out;
  out << installer.u8string() << "\n"
      << "signature         " << DescribeSignature(installer) << "\n"
      << "integrity         " << DescribeIntegrity(package.volumes.front().integrity) << "\n";
  if (FindPackageEntry(package, kManifestName)) {
    PatchManifest manifest;
    std::string content;
    if (!ReadManifest(package, manifest, content, error)) return false;
    out << "patch version     " << FormatGameVersion(manifest.patchVersion) << "\n"
        << "rule              " << ForDisplay(manifest.ruleToken, false) << " "
        << FormatGameVersion(manifest.requiredVersion)
        << (manifest.rule == RuleInvalid ? "   (invalid: the installer refuses it)" : "")
        << "\nnotes\n";
    std::string notes = ForDisplay(manifest.notes, true);
    size_t start = 0;
    while (start < notes.size()) {
      const size_t end = notes.find('\n', start);
      out << "  " << notes.substr(start, end == std::string::npos ? end : end - start) << "\n";
      if (end == std::string::npos) break;
      start = end + 1;
    }
  } else {
    out << "no " << kManifestName << ": the installer would not start\n";
  }

  const std::vector<EntryStorage> storages = ReadStorages(package);
  uint64_t installedLength = 0;
  size_t unreadable = 0;
  for (const EntryStorage& storage : storages) {
    installedLength += storage.encodingRead ? storage.encoding.installedSize : 0;
    unreadable += storage.encodingRead ? 0 : 1;
  }
  out << "entries: " << package.index.size() << ", " << FormatCount(TotalContentLength(package))
      << " bytes stored, " << (unreadable == 0 ? "" : "at least ")
      << FormatCount(installedLength) << " bytes installed";
  if (unreadable != 0) out << " (" << unreadable << " entries whose size cannot be read)";
  out << "\n";
  char line[200];
  std::snprintf(line, sizeof line, "%14s %14s %-10s %4s %4s %10s %13s  %s\n", "size",
                "installed", "kind", "aux1", "aux2", "aux3", "offset", "name");
  out << line;
  size_t at = 0;
  for (const auto& [name, entry] : package.index) {
    const EntryStorage& storage = storages[at++];
    std::snprintf(line, sizeof line, "%14s %14s %-10s %4u %4u %10lu %13s  ",
                  FormatCount(entry.size).c_str(),
                  storage.encodingRead ? FormatCount(storage.encoding.installedSize).c_str() : "?",
                  storage.kindKnown ? EntryKindName(storage.encoding.kind) : "?",
                  static_cast<unsigned>(entry.aux1), static_cast<unsigned>(entry.aux2),
                  static_cast<unsigned long>(entry.aux3), FormatCount(entry.offset).c_str());
    out << line << ForDisplay(name, false) << "\n";
  }
  return true;
}

bool VerifyInstaller(const fs::path& installer, CommandOutput& output, std::string& error,
                     ReportFormat format, const fs::path& gameFolder) {
  Package package;
  PatchManifest manifest;
  bool manifestRead = false;
  bool opened = false;
  std::vector<std::string> damagedEntries;
  const bool verified = VerifyPackage(installer, gameFolder, package, output, manifest,
                                      manifestRead, opened, damagedEntries, error);
  std::vector<EntryStorage> storages;
  if (opened) storages = ReadStorages(package);
  size_t deltaCount = 0;
  for (const EntryStorage& storage : storages) {
    if (storage.kindKnown && storage.encoding.kind == EntryKind::kDelta) ++deltaCount;
  }
  if (format == ReportFormat::kJson) {
    PackageReport report;
    report.installerPath = installer.u8string();
    report.manifest = manifestRead ? &manifest : nullptr;
    report.package = opened ? &package : nullptr;
    report.storages = &storages;
    report.signatureKnown = opened && ReadPackageEnd(installer, report.packageEnd);
    report.hasVerdict = true;
    report.verified = verified;
    report.problem = error;
    report.damagedEntries = &damagedEntries;
    output.out << FormatPackageJson(report);
  } else if (verified) {
    output.out << installer.u8string() << ": OK, " << package.index.size() << " entries, "
               << FormatCount(TotalContentLength(package)) << " bytes; " << DescribeManifest(manifest)
               << "; " << DescribeSignature(installer) << "\n";
    if (!package.volumes.front().integrity.present) {
      output.out << "  no integrity data (not built by vantis-pack, or by an older one): "
                    "entries that read but hold other bytes than were packed cannot be found\n";
    }
    if (deltaCount != 0 && gameFolder.empty()) {
      output.out << "  " << deltaCount
                 << (deltaCount == 1 ? " delta entry checked without the game file it applies"
                                     : " delta entries checked without the game files they apply")
                 << " to: give --game DIR to check against a game folder\n";
    }
  }
  return verified;
}

bool ExtractInstaller(const fs::path& installer, const fs::path& folder, CommandOutput& output,
                      std::string& error, const std::vector<std::string>& names,
                      const fs::path& gameFolder, std::vector<ExtractedFile>* written) {
  Package package;
  if (!OpenInstaller(installer, package, error) || !CheckFrameIntegrity(package, error) ||
      !CheckNames(package, error)) {
    return false;
  }
  std::map<std::string, fs::path> localPaths;
  if (!PlanLocalPaths(package, localPaths, error)) return false;
  std::vector<std::string> selected;
  if (!SelectEntries(localPaths, names, selected, error)) return false;

  // Every target that cannot be replaced, and every entry whose data fails its integrity
  // check, is named before any entry is written.
  std::vector<std::string> problems;
  for (const std::string& name : selected) {
    std::string problem;
    if (!CheckReplaceable(folder / localPaths[name], problem)) problems.push_back(problem);
  }
  std::vector<const PackageEntry*> selectedEntries;
  for (const std::string& name : selected) selectedEntries.push_back(&package.index.at(name));
  const std::vector<size_t> damagedIndexes = FindDamagedEntries(package.volumes, selectedEntries);
  for (size_t index : damagedIndexes) {
    problems.push_back(DescribeEntryFailure(package, selected[index], *selectedEntries[index]));
  }
  // And every delta whose game file is not at hand, or not the one it was made from, as the
  // installer checks them all before its first write.
  std::vector<EntryEncoding> encodings(selected.size());
  for (size_t i = 0, damaged = 0; i < selected.size(); ++i) {
    if (damaged < damagedIndexes.size() && damagedIndexes[damaged] == i) {
      ++damaged;
      continue;
    }
    const std::string shown = ForDisplay(selected[i], false);
    if (!ReadEntryEncoding(package.volumes, *selectedEntries[i], encodings[i])) {
      problems.push_back(shown + ": its kind or header cannot be read (aux2 " +
                         std::to_string(selectedEntries[i]->aux2) + ")");
    } else if (encodings[i].kind == EntryKind::kDelta && gameFolder.empty()) {
      problems.push_back(shown + ": a delta against the game's copy of the file; give --game "
                         "DIR, the game folder the patch applies to, to extract it");
    } else if (encodings[i].kind == EntryKind::kDelta) {
      GameCopySource copy;
      std::string problem;
      if (!OpenDeltaSource(gameFolder, selected[i], encodings[i], true, copy, problem)) {
        problems.push_back(problem);
      }
    }
  }
  if (!problems.empty()) {
    error = DescribeProblems(problems);
    return false;
  }

  std::error_code failure;
  fs::create_directories(folder, failure);
  fs::path realFolder;
  if (failure || !ResolveRealPath(folder, realFolder)) {
    error = folder.u8string() + ": cannot create the folder" +
            (failure ? ": " + failure.message() : std::string());
    return false;
  }

  uint64_t selectedLength = 0;
  for (const EntryEncoding& encoding : encodings) selectedLength += encoding.installedSize;
  ProgressBar progress(output.progressTerminal, selectedLength);
  // Index order mostly puts the files of a folder next to each other, and writing files
  // creates no links, so a folder is created and checked once for each run of its files.
  fs::path checkedParent;
  for (size_t i = 0; i < selected.size(); ++i) {
    const std::string& name = selected[i];
    const PackageEntry& entry = package.index.at(name);
    const fs::path target = folder / localPaths[name];
    const std::string shown = ForDisplay(name, false);
    if (target.parent_path() != checkedParent) {
      if (!CreateFoldersWithin(folder, realFolder, localPaths[name].parent_path(), error)) {
        error = shown + ": " + error;
        return false;
      }
      checkedParent = target.parent_path();
    }
    // Checked before the first write; a copy changed since then fails the result's check.
    GameCopySource copy;
    DeltaSource source;
    if (encodings[i].kind == EntryKind::kDelta) {
      if (!OpenDeltaSource(gameFolder, name, encodings[i], false, copy, error)) return false;
      source = AsDeltaSource(copy);
    }
    bool damaged = false;
    if (!WriteEntryToFile(package, entry, encodings[i], &source, target, progress, shown,
                          damaged, error)) {
      if (damaged && encodings[i].kind != EntryKind::kWhole &&
          CheckEntryIntegrity(package.volumes, entry)) {
        error = shown + ": its " + EntryKindName(encodings[i].kind) +
                " data does not decode to what was packed";
      } else {
        error = damaged ? DescribeEntryFailure(package, name, entry) : shown + ": " + error;
      }
      return false;
    }
    if (written) written->push_back({name, encodings[i].installedSize});
  }
  output.out << "extracted " << selected.size() << " entries, " << FormatCount(selectedLength)
             << " bytes, to " << folder.u8string() << "\n";
  return true;
}
