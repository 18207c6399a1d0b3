#include "packer/BuildInstaller.h"

#include <algorithm>
#include <cassert>
#include <fstream>
#include <sstream>

#include "crypto/DirectoryStream.h"
#include "crypto/EntryStream.h"
#include "package/PackageContainer.h"
#include "package/PackageEnd.h"
#include "packer/HostSystem.h"
#include "packer/ManifestSummary.h"
#include "packer/NotesLayout.h"
#include "packer/PackageWriter.h"
#include "packer/Progress.h"
#include "packer/Sha256.h"
#include "packer/SourceTree.h"
#include "packer/StagedFile.h"

namespace fs = std::filesystem;

namespace {

constexpr char kManifestName[] = "config.txt";
// The most one entry chunk carries; it is also the tool's read buffer, so memory stays at
// about two chunks however large the patch is.
constexpr uint32_t kChunkPlainLength = kEntryStoredLimit;
constexpr uint32_t kChunkHeaderLength = 8;
// An entry's offset with bit 31 set reads as a removal marker.
constexpr uint64_t kEntryDataLimit = 0x80000000u;
// Sizes and positions are 32-bit, and the reader takes the file size as 32 bits.
constexpr uint64_t kPositionLimit = 0xFFFFFFFFu;
// Signing pads the file to a multiple of 8 before the certificate table; a finished
// installer of such a length needs no padding.
constexpr uint64_t kSigningAlignment = 8;

struct PlannedEntry {
  const SourceFile* source = nullptr;
  const std::string* content = nullptr;  // the converted manifest; null: read from disk
  PackageEntry fields;
  uint64_t streamLength = 0;  // its entry chunk stream, headers included
};

// What EncodeEntryChunk writes for `size` bytes cut into chunks of kChunkPlainLength:
// each chunk's header and its ciphertext rounded up to whole 8-byte blocks.
uint64_t EntryStreamLength(uint64_t size) {
  const uint64_t fullChunks = size / kChunkPlainLength;
  const uint64_t rest = size % kChunkPlainLength;
  const uint64_t restLength = rest == 0 ? 0 : kChunkHeaderLength + ((rest + 7) & ~uint64_t{7});
  return fullChunks * (kChunkHeaderLength + kChunkPlainLength) + restLength;
}

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

// The notes still install as they are; the player would have to scroll to read them.
void WarnOfNotesLayout(const std::string& notes, CommandOutput& output) {
  const NotesExtent extent = MeasureNotes(notes);
  if (extent.lineCount > kNotesBoxLines) {
    output.err << "vantis-pack: " << kManifestName << ": the notes take " << extent.lineCount
               << " lines; the installer's text box shows " << kNotesBoxLines
               << " without scrolling\n";
  }
  if (extent.widestColumns > kNotesBoxColumns) {
    output.err << "vantis-pack: " << kManifestName << ": line " << extent.widestLine
               << " of the notes is about " << extent.widestColumns
               << " characters wide; the installer's text box shows about " << kNotesBoxColumns
               << " (a Chinese character counts as two)\n";
  }
}

bool LoadManifest(const std::vector<SourceFile>& files, NotesEncoding encoding,
                  CommandOutput& output, std::string& manifest, std::string& error) {
  const auto found = std::find_if(files.begin(), files.end(), [](const SourceFile& file) {
    return file.entryName == kManifestName;
  });
  if (found == files.end()) {
    error = std::string(kManifestName) +
            ": missing at the top of the source folder; it holds the patch's versions and notes";
    const auto lower = [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    for (const SourceFile& file : files) {
      if (file.entryName.size() == sizeof kManifestName - 1 &&
          std::equal(file.entryName.begin(), file.entryName.end(), kManifestName,
                     [&lower](char a, char b) { return lower(a) == b; })) {
        error += " (found " + file.displayName + ": the installer looks for the name exactly)";
      }
    }
    return false;
  }
  std::string raw;
  if (!ReadWholeFile(found->path, raw)) {
    error = std::string(kManifestName) + ": cannot be read";
    return false;
  }
  std::string text;
  std::string notice;
  std::string reason;
  if (!EncodeManifestText(raw, encoding, text, notice, reason)) {
    error = std::string(kManifestName) + ": " + reason;
    return false;
  }
  if (!notice.empty()) output.err << "vantis-pack: " << kManifestName << ": " << notice << "\n";
  if (const size_t converted = ConvertBareLineFeeds(text)) {
    output.err << "vantis-pack: " << kManifestName << ": " << converted
               << " LF line end(s) converted to CR LF; Windows breaks the notes' lines only "
                  "at CR LF\n";
  }

  const ManifestSummary summary = SummarizeManifest(text);
  if (summary.rule == RuleInvalid) {
    error = std::string(kManifestName) + ": the rule must be \"=\" or \"<=\"; read " +
            DescribeManifest(summary);
    return false;
  }
  const size_t zero = text.find('\0');
  if (zero != std::string::npos) {
    output.err << "vantis-pack: " << kManifestName << ": a zero byte at byte " << zero
               << " ends the notes there; the installer shows nothing after it\n";
  }
  WarnOfNotesLayout(summary.notes, output);
  manifest.swap(text);
  return true;
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
          "\nbuild it with `cmake --preset win32 && cmake --build --preset win32`, or name it "
          "with --stub PATH";
  return false;
}

// The installer program must be a Windows executable: a package behind anything else
// would never run.
bool CheckStub(const fs::path& stub, uint64_t& stubLength, std::string& error) {
  std::error_code failure;
  if (!fs::is_regular_file(stub, failure)) {
    error = stub.u8string() + ": installer program not found";
    return false;
  }
  stubLength = fs::file_size(stub, failure);
  std::ifstream in(stub, std::ios::binary);
  char magic[2] = {};
  if (failure || !in.read(magic, sizeof magic) || magic[0] != 'M' || magic[1] != 'Z') {
    error = stub.u8string() + ": not a Windows program (no \"MZ\" at its start)";
    return false;
  }
  ScopedFile file(OpenFileForSharedRead(stub.native()));
  if (!file.IsOpen() || stubLength > kPositionLimit) return true;  // the copy says why
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

  bool Write(const void* data, size_t length, std::string& error) {
    UpdateSha256(hash, data, length);
    return file.Write(data, length, error);
  }
  bool Write(const std::string& data, std::string& error) {
    return Write(data.data(), data.size(), error);
  }
};

// Where everything goes: entry data behind the stub, then the directory and the header.
struct PackagePlan {
  std::vector<PlannedEntry> entries;  // in entry name order, the directory's
  std::vector<size_t> dataOrder;      // indexes into `entries`, in the order of their data
  uint64_t dataEnd = 0;
};

// All limits are checked here, before anything is written. The data goes smallest first
// (ties by name): only an entry's start must lie below 2 GiB, so the largest entry may
// reach up to 4 GiB, and the order still depends on the tree alone.
bool PlanPackage(const std::vector<SourceFile>& files, const std::string& manifest,
                 uint64_t stubLength, PackagePlan& plan, std::string& error) {
  PackagePlan result;
  for (const SourceFile& file : files) {
    PlannedEntry entry;
    entry.source = &file;
    if (file.entryName == kManifestName) entry.content = &manifest;
    result.entries.push_back(entry);
  }
  const auto sizeOf = [&result](size_t index) -> uint64_t {
    const PlannedEntry& entry = result.entries[index];
    return entry.content ? entry.content->size() : entry.source->size;
  };
  for (size_t i = 0; i < result.entries.size(); ++i) result.dataOrder.push_back(i);
  std::stable_sort(result.dataOrder.begin(), result.dataOrder.end(),
                   [&sizeOf](size_t a, size_t b) { return sizeOf(a) < sizeOf(b); });

  uint64_t position = stubLength;
  for (size_t index : result.dataOrder) {
    PlannedEntry& entry = result.entries[index];
    const std::string& name = entry.source->displayName;
    const uint64_t size = sizeOf(index);
    if (size > kPositionLimit) {
      error = name + ": " + FormatCount(size) + " bytes; an entry holds at most " +
              FormatCount(kPositionLimit);
      return false;
    }
    // An empty entry reads nothing at its position, but the position must still be one the
    // installer can seek to and that is no removal marker.
    const uint64_t offset = size == 0 ? stubLength : position;
    if (offset >= kEntryDataLimit) {
      error = name + ": its data would start at byte " + FormatCount(offset) +
              ", past 2 GiB, where the installer reads the position as a removal mark; "
              "split the patch";
      return false;
    }
    entry.fields.offset = static_cast<uint32_t>(offset);
    entry.fields.size = static_cast<uint32_t>(size);
    entry.streamLength = EntryStreamLength(size);
    position += entry.streamLength;
  }
  result.dataEnd = position;
  plan = std::move(result);
  return true;
}

std::string EncodeDirectory(const std::string& key, const PackagePlan& plan) {
  DirectoryStreamWriter stream;
  stream.key = key;
  std::string chunk;
  for (const PlannedEntry& entry : plan.entries) {
    const std::string record = EncodeDirectoryRecord(entry.source->entryName, entry.fields);
    if (chunk.size() + record.size() > kDirectoryChunkLimit) {
      AppendDirectoryChunk(stream, chunk);
      chunk.clear();
    }
    chunk += record;
  }
  if (!chunk.empty()) AppendDirectoryChunk(stream, chunk);
  AppendDirectoryTerminator(stream);
  return stream.bytes;
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

// One chunk in memory at a time: read, encrypt, write.
bool WriteEntryData(const PlannedEntry& entry, const std::string& key, HashedOutput& out,
                    ProgressBar& progress, std::string& error) {
  std::ifstream file;
  std::istringstream text;
  std::istream* in = &text;
  if (entry.content) {
    text.str(*entry.content);
  } else {
    file.open(entry.source->path, std::ios::binary);
    in = &file;
  }
  const std::string& name = entry.source->displayName;
  if (!*in) {
    error = name + ": cannot be read";
    return false;
  }

  std::string chunk;
  uint64_t written = 0;
  uint64_t left = entry.fields.size;
  while (left > 0) {
    chunk.resize(static_cast<size_t>(std::min<uint64_t>(left, kChunkPlainLength)));
    if (!in->read(chunk.data(), static_cast<std::streamsize>(chunk.size()))) {
      error = name + ": cannot be read, or became shorter while packing";
      return false;
    }
    const std::string encoded = EncodeEntryChunk(key, chunk);
    if (!out.Write(encoded, error)) return false;
    written += encoded.size();
    left -= chunk.size();
    progress.Advance(chunk.size(), name);
  }
  if (in->peek() != std::char_traits<char>::eof()) {
    error = name + ": became longer while packing";
    return false;
  }
  assert(written == entry.streamLength && "the plan and the writer's chunk framing disagree");
  return true;
}

}  // namespace

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

std::vector<fs::path> DefaultStubCandidates() {
  std::vector<fs::path> candidates;
  const fs::path self = GetOwnExecutablePath();
  if (!self.empty()) candidates.push_back(self.parent_path() / "vantis-installer.exe");
#ifdef VANTIS_DEFAULT_STUB
  candidates.push_back(fs::u8path(VANTIS_DEFAULT_STUB));
#endif
  return candidates;
}

bool BuildInstaller(const BuildOptions& options, CommandOutput& output, std::string& error) {
  // The installer would otherwise be packed into the next build of the same folder.
  const fs::path outputFolder = options.outputPath.has_parent_path()
                                    ? options.outputPath.parent_path()
                                    : fs::path(".");
  fs::path realSource;
  fs::path realOutputFolder;
  if (ResolveRealPath(options.sourceFolder, realSource) &&
      ResolveRealPath(outputFolder, realOutputFolder) &&
      IsPathWithin(realOutputFolder, realSource)) {
    error = options.outputPath.u8string() + ": lies inside the source folder " +
            options.sourceFolder.u8string();
    return false;
  }

  std::vector<SourceFile> files;
  if (!ReadSourceTree(options.sourceFolder, files, error)) return false;
  std::string manifest;
  if (!LoadManifest(files, options.notesEncoding, output, manifest, error)) return false;

  fs::path stub;
  uint64_t stubLength = 0;
  if (!FindStub(options.stubPath, stub, error) || !CheckStub(stub, stubLength, error)) {
    return false;
  }

  std::string key = options.key;
  if (key.empty()) {
    key.resize(kRandomKeyLength);
    if (!FillSecureRandom(reinterpret_cast<uint8_t*>(key.data()), key.size())) {
      error = "the system's secure random source cannot be read";
      return false;
    }
  }

  PackagePlan plan;
  if (!PlanPackage(files, manifest, stubLength, plan, error)) return false;
  const std::string directory = EncodeDirectory(key, plan);
  const std::string header = EncodePackageHeader(key, static_cast<uint32_t>(plan.dataEnd));
  const uint64_t trailerLength = EncodePackageTrailer(0).size();
  // Zeros between the directory and the header, which the trailer finds wherever it is.
  const uint64_t unpaddedLength =
      plan.dataEnd + directory.size() + header.size() + trailerLength;
  const std::string padding(
      static_cast<size_t>((kSigningAlignment - unpaddedLength % kSigningAlignment) %
                          kSigningAlignment), '\0');
  const uint64_t headerOffset = plan.dataEnd + directory.size() + padding.size();
  const uint64_t totalLength = unpaddedLength + padding.size();
  if (totalLength > kPositionLimit) {
    error = "the installer would be " + FormatCount(totalLength) +
            " bytes; positions in the package are 32-bit, so it must stay below 4 GiB; split "
            "the patch";
    return false;
  }

  std::error_code failure;
  if (fs::is_directory(options.outputPath, failure)) {
    error = options.outputPath.u8string() + ": is a folder";
    return false;
  }
  HashedOutput out;
  if (!out.file.Create(options.outputPath, error) || !CopyStub(stub, stubLength, out, error)) {
    return false;
  }
  uint64_t contentLength = 0;
  for (const PlannedEntry& entry : plan.entries) contentLength += entry.fields.size;
  {
    ProgressBar progress(output.progressTerminal, contentLength);
    for (size_t index : plan.dataOrder) {
      if (!WriteEntryData(plan.entries[index], key, out, progress, error)) return false;
    }
  }
  if (!out.Write(directory, error) || !out.Write(padding, error) || !out.Write(header, error) ||
      !out.Write(EncodePackageTrailer(static_cast<uint32_t>(headerOffset)), error) ||
      !out.file.Commit(error)) {
    return false;
  }

  const ManifestSummary summary = SummarizeManifest(manifest);
  output.out << "built " << options.outputPath.u8string() << ": " << plan.entries.size()
             << " entries, "
             << FormatCount(contentLength) << " bytes of content, "
             << FormatCount(totalLength) << " bytes in all\n"
             << "  " << DescribeManifest(summary) << "\n"
             << "  installer program " << stub.u8string() << "\n"
             << "  SHA-256 " << FormatSha256(FinishSha256(out.hash)) << "\n";
  if (options.key.empty()) output.out << "  key " << ToHex(key) << " (random)\n";
  return true;
}
