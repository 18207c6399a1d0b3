#include "vantis-pack/commands/BuildInstaller.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "package/ManifestName.h"
#include "package/PackageContainer.h"
#include "package/format/DirectoryRecord.h"
#include "package/format/DirectoryStream.h"
#include "package/format/EntryEncoding.h"
#include "package/format/EntryStream.h"
#include "package/format/IntegrityBlock.h"
#include "package/format/PackageEnd.h"
#include "package/format/PackageFrame.h"
#include "vantis-pack/writing/EntryDataWriter.h"
#include "vantis-pack/writing/EntryEncoder.h"
#include "vantis-pack/host/HostSystem.h"
#include "vantis-pack/writing/InstallerProgram.h"
#include "app/game/PatchManifest.h"
#include "vantis-pack/report/ManifestText.h"
#include "vantis-pack/report/ProblemList.h"
#include "vantis-pack/report/Progress.h"
#include "vantis-pack/writing/Sha256.h"
#include "vantis-pack/names/SourceTree.h"
#include "vantis-pack/host/StagedFile.h"

namespace fs = std::filesystem;

namespace {

// The most one entry chunk carries; also the buffer the installer program is copied with.
constexpr uint32_t kChunkPlainLength = kEntryStoredLimit;
// Signing pads the file to a multiple of 8 before the certificate table; a finished
// installer of such a length needs no padding.
constexpr uint64_t kSigningAlignment = 8;

struct PlannedEntry {
  const SourceFile* source = nullptr;
  const std::string* content = nullptr;  // the converted manifest; null: read from disk
  EncodedEntry stored;                   // what is written for it, and from where
  PackageEntry fields;
  uint64_t streamLength = 0;  // its entry chunk stream, headers included
};

std::string ToHex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (char c : bytes) {
    hex += kDigits[static_cast<unsigned char>(c) >> 4];
    hex += kDigits[static_cast<unsigned char>(c) & 0xF];
  }
  return hex;
}

bool ReadWholeFile(const fs::path& path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return false;
  content = buffer.str();
  return true;
}

// config.txt from the tree, converted and checked; problems are added to `problems`.
void LoadManifest(const std::vector<SourceFile>& files, NotesEncoding encoding,
                  CommandOutput& output, std::string& manifest,
                  std::vector<std::string>& problems) {
  const auto found = std::find_if(files.begin(), files.end(), [](const SourceFile& file) {
    return file.entryName == kManifestName;
  });
  if (found == files.end()) {
    std::string problem =
        std::string(kManifestName) +
        ": missing at the top of the source folder; it holds the patch's versions and notes";
    for (const SourceFile& file : files) {
      if (IsManifestNameInAnyCase(file.entryName)) {
        problem += " (found " + file.displayName + ": the installer looks for the name exactly)";
      }
    }
    problems.push_back(problem);
    return;
  }
  std::string raw;
  if (!ReadWholeFile(found->path, raw)) {
    problems.push_back(std::string(kManifestName) + ": cannot be read");
    return;
  }
  std::string problem;
  if (!PrepareManifest(raw, encoding, output, manifest, problem)) problems.push_back(problem);
}

bool FindStub(const fs::path& requested, fs::path& stub, std::string& error) {
  if (!requested.empty()) {
    stub = requested;
    return true;
  }
  std::string tried;
  for (const fs::path& candidate : DefaultStubCandidates()) {
    std::error_code failure;
    if (fs::is_regular_file(candidate, failure)) {
      stub = candidate;
      return true;
    }
    tried += "\n  " + candidate.u8string();
  }
  error = "no installer program found; looked for:" + tried +
          "\ninstall vantis-pack with its installer program, build it with "
          "`cmake --preset win32 && cmake --build --preset win32`, or name it with --stub PATH";
  return false;
}

bool CheckStub(const fs::path& stub, CommandOutput& output, uint64_t& stubLength,
               std::string& error) {
  std::error_code failure;
  if (!fs::is_regular_file(stub, failure)) {
    error = stub.u8string() + ": installer program not found";
    return false;
  }
  stubLength = fs::file_size(stub, failure);
  std::string reason;
  std::string warning;
  if (failure || !CheckInstallerProgram(stub, reason, warning)) {
    error = stub.u8string() + ": " + (failure ? "cannot be read: " + failure.message() : reason);
    return false;
  }
  if (!warning.empty()) {
    output.err << "vantis-pack: warning: " << stub.u8string() << ": " << warning << "\n";
  }
  ScopedFile file(OpenFileForSharedRead(stub.native()));
  if (!file.IsOpen() || stubLength > kInstallerLengthLimit) return true;  // the plan says why
  const PackageEnd end = FindPackageEnd(file.Get(), static_cast<uint32_t>(stubLength));
  if (end.certificateTableLength != 0) {
    error = stub.u8string() + ": is signed (a certificate table of " +
            FormatCount(end.certificateTableLength) +
            " bytes); a package appended to it would break that signature. Build from the "
            "unsigned installer program and sign the finished installer";
    return false;
  }
  return true;
}

// The output file and the SHA-256 of everything written to it.
struct HashedOutput {
  StagedFile file;
  Sha256State hash;
  uint64_t entryDataStart = 0;  // the stub's length

  bool Write(const void* data, size_t length, std::string& error) {
    UpdateSha256(hash, data, length);
    return file.Write(data, length, error);
  }
  bool Write(const std::string& data, std::string& error) {
    return Write(data.data(), data.size(), error);
  }
};

// The entry data's two halves of HashedOutput::Write, which WriteEntryData runs on two
// threads.
bool WriteUnhashed(uint64_t offset, const uint8_t* data, size_t length, void* context,
                   std::string& error) {
  const auto* out = static_cast<const HashedOutput*>(context);
  return out->file.WriteAt(out->entryDataStart + offset, data, length, error);
}
bool HashOnly(const uint8_t* data, size_t length, void* context, std::string&) {
  UpdateSha256(static_cast<HashedOutput*>(context)->hash, data, length);
  return true;
}

// Where everything goes: entry data behind the stub, then the directory, the header, the
// integrity block and the trailer.
struct PackagePlan {
  std::vector<PlannedEntry> entries;  // in entry name order, the directory's
  std::vector<size_t> dataOrder;      // indexes into `entries`, in the order of their data
  uint64_t dataEnd = 0;
  uint64_t paddingLength = 0;         // zeros between the directory and the header
  uint64_t totalLength = 0;           // the whole installer, trailer included
};

std::string EncodeDirectory(const std::string& key, const PackagePlan& plan);

// The length limit is checked here, before anything is written. The data goes smallest
// first (ties by name), so that the order depends on the tree alone.
bool PlanPackage(const std::vector<SourceFile>& files, const std::vector<EncodedEntry>& stored,
                 const std::string& manifest, uint64_t stubLength, size_t keyLength,
                 PackagePlan& plan, std::string& error) {
  PackagePlan result;
  for (size_t i = 0; i < files.size(); ++i) {
    PlannedEntry entry;
    entry.source = &files[i];
    entry.stored = stored[i];
    if (files[i].entryName == kManifestName) entry.content = &manifest;
    result.entries.push_back(entry);
  }
  const auto sizeOf = [&result](size_t index) -> uint64_t {
    const PlannedEntry& entry = result.entries[index];
    return entry.content ? entry.content->size() : entry.stored.storedSize;
  };
  for (size_t i = 0; i < result.entries.size(); ++i) result.dataOrder.push_back(i);
  std::stable_sort(result.dataOrder.begin(), result.dataOrder.end(),
                   [&sizeOf](size_t a, size_t b) { return sizeOf(a) < sizeOf(b); });

  std::vector<uint64_t> offsets(result.entries.size());
  uint64_t position = stubLength;
  for (size_t index : result.dataOrder) {
    const uint64_t size = sizeOf(index);
    // An empty entry reads nothing, but its position must still be one the installer can
    // seek to.
    offsets[index] = size == 0 ? stubLength : position;
    result.entries[index].streamLength = PackedEntryStreamLength(size);
    position += result.entries[index].streamLength;
  }
  result.dataEnd = position;
  // The directory's length depends on the names only, not on the fields' values.
  const uint64_t directoryLength = EncodeDirectory(std::string(keyLength, 'k'), result).size();
  const uint64_t headerLength = EncodePackageHeader(std::string(keyLength, 'k'), 0).size();
  const uint64_t unpaddedLength =
      result.dataEnd + directoryLength + headerLength + kIntegrityBlockLength + kTrailerLength;
  // The trailer finds the header wherever it is, so the padding goes before it.
  result.paddingLength = (kSigningAlignment - unpaddedLength % kSigningAlignment) % kSigningAlignment;
  result.totalLength = unpaddedLength + result.paddingLength;
  if (result.totalLength > kInstallerLengthLimit) {
    error = "the installer would be " + FormatCount(result.totalLength) +
            " bytes; the installer program reaches its package with signed 32-bit file "
            "positions, so it opens files of at most " + FormatCount(kInstallerLengthLimit) +
            " bytes (2 GiB + 3); split the patch";
    return false;
  }
  // Every position now lies below 2 GiB: no offset reads as a removal marker.
  for (size_t i = 0; i < result.entries.size(); ++i) {
    result.entries[i].fields.offset = static_cast<uint32_t>(offsets[i]);
    result.entries[i].fields.size = static_cast<uint32_t>(sizeOf(i));
    result.entries[i].fields.aux2 = static_cast<uint8_t>(result.entries[i].stored.kind);
  }
  plan = std::move(result);
  return true;
}

std::string EncodeDirectory(const std::string& key, const PackagePlan& plan) {
  std::vector<std::string> records;
  records.reserve(plan.entries.size());
  for (const PlannedEntry& entry : plan.entries) {
    records.push_back(EncodeDirectoryRecord(entry.source->entryName, entry.fields));
  }
  return EncodeDirectoryStream(key, GroupDirectoryRecords(records));
}

bool CopyStub(const fs::path& stub, uint64_t stubLength, HashedOutput& out, std::string& error) {
  std::ifstream in(stub, std::ios::binary);
  std::string buffer(kChunkPlainLength, '\0');
  uint64_t left = stubLength;
  while (left > 0) {
    const auto part = static_cast<std::streamsize>(std::min<uint64_t>(left, buffer.size()));
    if (!in.read(buffer.data(), part)) {
      error = stub.u8string() + ": cannot be read, or changed while packing";
      return false;
    }
    if (!out.Write(buffer.data(), static_cast<size_t>(part), error)) return false;
    left -= static_cast<uint64_t>(part);
  }
  return true;
}

// The forms the installer program reads, and what --plain or its lack of them costs.
EntryEncodingChoice ChooseEncodings(const PackRequest& request, const PackOptions& options,
                                    const fs::path& stub, CommandOutput& output) {
  EntryEncodingChoice choice;
  if (options.plain) return choice;
  const InstallerEntryKinds kinds = ReadInstallerEntryKinds(stub);
  choice.compress = kinds.compressed;
  choice.delta = kinds.delta;
  const bool wantsDelta = !request.deltaSources.empty();
  const bool hasFiles = std::any_of(request.files.begin(), request.files.end(),
                                    [](const SourceFile& file) {
                                      return file.entryName != kManifestName && file.size > 0;
                                    });
  if (hasFiles && (!kinds.compressed || (wantsDelta && !kinds.delta))) {
    output.err << "vantis-pack: note: " << stub.u8string() << ": the installer program does "
               << "not declare that it reads " << (kinds.compressed ? "delta" : "compressed")
               << " entries; writing " << (kinds.compressed ? "no deltas" : "whole entries")
               << "\n";
  }
  return choice;
}

// Every file but the manifest (always whole: the installer reads it before anything else)
// in its smallest form; the manifest and empty files stay whole.
bool EncodeRequest(const PackRequest& request, const EntryEncodingChoice& choice,
                   std::unique_ptr<EncodingWorkFolder>& workFolder, CommandOutput& output,
                   std::vector<EncodedEntry>& stored, std::string& error) {
  std::vector<EntryEncodingJob> jobs;
  std::vector<size_t> jobFiles;
  stored.assign(request.files.size(), {});
  uint64_t total = 0;
  for (size_t i = 0; i < request.files.size(); ++i) {
    const SourceFile& file = request.files[i];
    stored[i] = {EntryKind::kWhole, file.path, file.size, file.size};
    if (file.entryName == kManifestName || (!choice.compress && !choice.delta)) continue;
    EntryEncodingJob job{file.displayName, file.path, file.size, {}};
    const auto source = request.deltaSources.find(file.entryName);
    if (choice.delta && source != request.deltaSources.end()) job.deltaSource = source->second;
    jobs.push_back(job);
    jobFiles.push_back(i);
    total += file.size;
  }
  if (jobs.empty()) return true;
  workFolder = std::make_unique<EncodingWorkFolder>();
  if (!workFolder->IsReady()) {
    error = "no folder for the compressed forms can be made in the temporary folder";
    return false;
  }
  std::vector<EncodedEntry> encoded;
  ProgressBar progress(output.progressTerminal, total);
  if (!EncodeEntries(jobs, choice, *workFolder, progress, encoded, error)) return false;
  for (size_t j = 0; j < jobs.size(); ++j) stored[jobFiles[j]] = encoded[j];
  return true;
}

// "1,234 bytes stored (3 delta, 5 compressed, 2 whole) for 56,789 installed"
std::string DescribeStoredForms(const PackagePlan& plan, uint64_t contentLength,
                                uint64_t installedLength) {
  size_t counts[3] = {};
  for (const PlannedEntry& entry : plan.entries) ++counts[static_cast<size_t>(entry.stored.kind)];
  if (counts[1] == 0 && counts[2] == 0) return FormatCount(contentLength) + " bytes of content";
  std::string text = FormatCount(contentLength) + " bytes stored (";
  if (counts[2] != 0) text += std::to_string(counts[2]) + " delta, ";
  if (counts[1] != 0) text += std::to_string(counts[1]) + " compressed, ";
  return text + std::to_string(counts[0]) + " whole) for " + FormatCount(installedLength) +
         " installed";
}

// What --json reports of a planned installer; the digest follows once it is written.
void DescribePack(const PackagePlan& plan, const PackRequest& request,
                  const PackOptions& options, const fs::path& stub, PackReport& result) {
  result.outputPath = options.outputPath.u8string();
  result.dryRun = options.dryRun;
  result.keyGiven = !options.key.empty();
  result.stubPath = stub.u8string();
  result.outputLength = plan.totalLength;
  result.entries.clear();
  for (const PlannedEntry& entry : plan.entries) {
    result.entries.push_back({entry.source->entryName, entry.stored.kind, entry.fields.size,
                              entry.content ? entry.content->size() : entry.stored.installedSize});
  }
  result.excludedNames = request.excludedNames;
}

}  // namespace

bool OutputLiesWithin(const fs::path& output, const fs::path& folder) {
  const fs::path outputFolder = output.has_parent_path() ? output.parent_path() : fs::path(".");
  fs::path realFolder;
  fs::path realOutputFolder;
  return ResolveRealPath(folder, realFolder) && ResolveRealPath(outputFolder, realOutputFolder) &&
         IsPathWithin(realOutputFolder, realFolder);
}

bool ParseKeyHex(const std::string& hex, std::string& key, std::string& error) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (hex.empty() || hex.size() % 2 != 0 || hex.size() / 2 > kMaxKeyLength) {
    error = "--key takes an even number of hexadecimal digits, 2 to " +
            std::to_string(kMaxKeyLength * 2);
    return false;
  }
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = digit(hex[i]);
    const int low = digit(hex[i + 1]);
    if (high < 0 || low < 0) {
      error = "--key: \"" + hex + "\" is not hexadecimal";
      return false;
    }
    bytes += static_cast<char>(high << 4 | low);
  }
  key.swap(bytes);
  return true;
}

// Beside the tool (the Windows archive and build), then where `cmake --install` put it
// relative to the tool, then, for a tool that runs from its build tree, the program the
// win32 build of that tree made.
std::vector<fs::path> DefaultStubCandidates() {
  std::vector<fs::path> candidates;
  const fs::path self = GetOwnExecutablePath();
  const fs::path folder = self.parent_path();
  if (!self.empty()) {
    candidates.push_back(folder / "vantis-installer.exe");
#ifdef VANTIS_PROGRAM_FROM_TOOL
    candidates.push_back((folder / fs::u8path(VANTIS_PROGRAM_FROM_TOOL) / "vantis-installer.exe")
                             .lexically_normal());
#endif
  }
#ifdef VANTIS_DEFAULT_STUB
  const fs::path buildTree = fs::u8path(VANTIS_BUILD_TREE).lexically_normal();
  const fs::path running = folder.lexically_normal();
  if (!running.empty() && std::mismatch(buildTree.begin(), buildTree.end(), running.begin(),
                                        running.end()).first == buildTree.end()) {
    candidates.push_back(fs::u8path(VANTIS_DEFAULT_STUB));
  }
#endif
  return candidates;
}

bool PackInstaller(const PackRequest& request, const PackOptions& options,
                   std::vector<std::string>& problems, CommandOutput& output,
                   std::string& error, PackReport* result) {
  fs::path stub;
  uint64_t stubLength = 0;
  std::string problem;
  if (!FindStub(options.stubPath, stub, problem) ||
      !CheckStub(stub, output, stubLength, problem)) {
    problems.push_back(problem);
  }
  if (!CheckReplaceable(options.outputPath, problem)) problems.push_back(problem);

  std::string key = options.key;
  if (key.empty()) {
    key.resize(kRandomKeyLength);
    if (!FillSecureRandom(reinterpret_cast<uint8_t*>(key.data()), key.size())) {
      error = "the system's secure random source cannot be read";
      return false;
    }
  }

  if (!problems.empty()) {
    error = DescribeProblems(problems);
    return false;
  }

  // Each file's smallest stored form, as far as the installer program reads it.
  const EntryEncodingChoice choice = ChooseEncodings(request, options, stub, output);
  std::unique_ptr<EncodingWorkFolder> workFolder;
  std::vector<EncodedEntry> stored;
  if (!EncodeRequest(request, choice, workFolder, output, stored, error)) return false;

  PackagePlan plan;
  if (!PlanPackage(request.files, stored, request.manifest, stubLength, key.size(), plan,
                   problem)) {
    error = DescribeProblems({problem});
    return false;
  }

  uint64_t contentLength = 0;
  uint64_t installedLength = 0;
  uint32_t features = 0;
  for (const PlannedEntry& entry : plan.entries) {
    contentLength += entry.fields.size;
    installedLength += entry.content ? entry.content->size() : entry.stored.installedSize;
    if (entry.stored.kind != EntryKind::kWhole) features |= kFeatureEntryKinds;
  }
  const std::string storedSummary = DescribeStoredForms(plan, contentLength, installedLength);
  const PatchManifest summary = ScanPatchManifest(request.manifest);
  if (result) DescribePack(plan, request, options, stub, *result);
  if (options.dryRun) {
    output.out << "would build " << options.outputPath.u8string() << ": "
               << plan.entries.size() << " entries, " << storedSummary << ", "
               << FormatCount(plan.totalLength) << " bytes in all\n"
               << "  " << DescribeManifest(summary) << "\n"
               << "  installer program " << stub.u8string() << "\n";
    for (const PlannedEntry& entry : plan.entries) {
      char size[64];
      std::snprintf(size, sizeof size, "%14s  ", FormatCount(entry.fields.size).c_str());
      output.out << size;
      if (features != 0) {
        std::snprintf(size, sizeof size, "%-10s  ", EntryKindName(entry.stored.kind));
        output.out << size;
      }
      output.out << entry.source->displayName << "\n";
    }
    for (const std::string& name : request.excludedNames) {
      output.out << "  left out by --exclude: " << name << "\n";
    }
    return true;
  }

  HashedOutput out;
  if (!out.file.Create(options.outputPath, error) || !CopyStub(stub, stubLength, out, error)) {
    return false;
  }
  {
    ProgressBar progress(output.progressTerminal, contentLength);
    std::vector<EntryDataSource> sources;
    for (size_t index : plan.dataOrder) {
      const PlannedEntry& entry = plan.entries[index];
      sources.push_back({entry.source->displayName, entry.stored.storedPath, entry.content,
                         entry.fields.size});
    }
    uint64_t dataLength = 0;
    std::vector<uint32_t> checksums;
    const EntryDataOutput entryOutput = {WriteUnhashed, HashOnly, &out};
    out.entryDataStart = stubLength;
    if (!WriteEntryData(sources, key, entryOutput, progress, dataLength, checksums, error)) {
      return false;
    }
    assert(stubLength + dataLength == plan.dataEnd &&
           "the plan and the writer's chunk framing disagree");
    for (size_t i = 0; i < plan.dataOrder.size(); ++i) {
      plan.entries[plan.dataOrder[i]].fields.aux3 = checksums[i];
    }
    out.file.SetAppendPosition(plan.dataEnd);
  }
  const std::string directory = EncodeDirectory(key, plan);
  const std::string padding(static_cast<size_t>(plan.paddingLength), '\0');
  const uint64_t headerOffset = plan.dataEnd + directory.size() + padding.size();
  const std::string header = EncodePackageHeader(key, static_cast<uint32_t>(plan.dataEnd));
  const std::string trailer = EncodePackageTrailer(static_cast<uint32_t>(headerOffset));
  const std::string integrity = EncodeIntegrityBlock(header, directory, trailer, features);
  assert(plan.totalLength == headerOffset + header.size() + integrity.size() + trailer.size());
  if (!out.Write(directory, error) || !out.Write(padding, error) || !out.Write(header, error) ||
      !out.Write(integrity, error) || !out.Write(trailer, error) || !out.file.Commit(error)) {
    return false;
  }

  const std::string digest = FormatSha256(FinishSha256(out.hash));
  output.out << "built " << options.outputPath.u8string() << ": " << plan.entries.size()
             << " entries, " << storedSummary << ", "
             << FormatCount(plan.totalLength) << " bytes in all\n"
             << "  " << DescribeManifest(summary) << "\n"
             << "  installer program " << stub.u8string() << "\n"
             << "  SHA-256 " << digest << "\n";
  if (options.key.empty()) output.out << "  key " << ToHex(key) << " (random)\n";
  if (result) result->sha256 = digest;
  return true;
}

bool BuildInstaller(const BuildOptions& options, CommandOutput& output, std::string& error,
                    PackReport* result) {
  std::vector<std::string> problems;
  if (OutputLiesWithin(options.outputPath, options.sourceFolder)) {
    problems.push_back(options.outputPath.u8string() + ": lies inside the source folder " +
                       options.sourceFolder.u8string());
  }

  SourceTree tree;
  ReadSourceTree(options.sourceFolder, options.excludePatterns, tree);
  problems.insert(problems.end(), tree.problems.begin(), tree.problems.end());
  PackRequest request;
  LoadManifest(tree.files, options.notesEncoding, output, request.manifest, problems);
  request.files = std::move(tree.files);
  request.excludedNames = std::move(tree.excludedNames);
  return PackInstaller(request, options, problems, output, error, result);
}
