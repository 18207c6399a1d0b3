#include "app/InstallWorker.h"

#include <cassert>
#include <iterator>
#include <vector>

#include "app/FileDurability.h"
#include "app/GameFileSource.h"
#include "app/game/GameVersion.h"
#include "app/InstallProgress.h"
#include "app/Installer.h"
#include "app/MessageBox.h"
#include "app/Messages.h"
#include "app/OutputFile.h"
#include "app/game/PatchManifest.h"
#include "package/EntryDecoding.h"
#include "package/ManifestName.h"
#include "package/PackageIndex.h"

namespace {

// An entry this large takes about as long to read, decrypt and write as the bar waits
// between moves, or longer: the steps gathered before it are shown first rather than held
// back while it is written, and a run of such entries still moves the bar only a few dozen
// times a second.
constexpr uint32_t kLongEntryLength = 4u << 20;

// Where WriteOutFileData cannot write a file out, the installed files are flushed in
// batches of this many: no flush between creating and moving a file, and a bar that keeps
// moving rather than a pause of a flush per file before the version file.
constexpr size_t kFilesPerFlush = kFlushBatchLimit;

// How much decoded data one write to a temporary file takes.
constexpr size_t kDecodedWriteLength = 1u << 20;

using IndexPosition = decltype(PackageIndex)::const_iterator;

// The bar stands where the steps so far put it before the user is asked anything.
int AskUser(const char* text, UINT flags) {
  ShowProgress();
  return ShowMessage(text, flags);
}

bool AskRetry(const char* text) {
  return AskUser(text, MB_ICONERROR | MB_RETRYCANCEL) == IDRETRY;
}

// What filling a fresh temporary file came to.
enum class Filled { kWritten, kWriteFailed, kGivenUp };

// Every Retry starts again from a fresh temporary file that `fill` writes from the start,
// so a retried file never mixes old and new data. `fill` returns kGivenUp once it has told
// the user why (or Cancel was asked for); it discards the file itself before it asks.
template <typename Fill>
bool WriteWithRetry(const std::string& relativeName, bool flushToDisk, Fill fill) {
  for (;;) {
    OutputFile file;
    if (!CreateOutputFile(relativeName, file)) {
      if (AskRetry(kFolderNotWritable)) continue;
      return false;
    }
    const Filled filled = fill(file);
    if (filled == Filled::kGivenUp) return false;
    if (filled == Filled::kWriteFailed ||
        !(flushToDisk ? file.CloseFlushedToDisk() : file.Close())) {
      // Discarded before asking: the open temporary file must not stay locked, nor take up
      // the disk space the user is asked to free.
      file.Discard();
      if (AskRetry(kWriteFailed)) continue;
      return false;
    }
    if (!file.ReplaceTarget()) {
      if (AskRetry(kFolderNotWritable)) continue;
      return false;
    }
    return true;
  }
}

bool WriteBlocksWithRetry(const std::string& relativeName, const std::vector<std::string>& blocks,
                          bool flushToDisk) {
  return WriteWithRetry(relativeName, flushToDisk, [&blocks](OutputFile& file) {
    for (const std::string& block : blocks) {
      if (!file.Write(block)) return Filled::kWriteFailed;
    }
    return Filled::kWritten;
  });
}

// The files of [first, last) that the walk has written, flushed to the disk. A flush that
// fails is a write that failed late, and is asked about like one; Retry flushes again from
// the file that failed.
bool FlushWrittenFiles(IndexPosition first, IndexPosition last) {
  if (CancelRequested.load()) return false;
  const std::string* names[kFilesPerFlush] = {};
  size_t count = 0;
  for (; first != last; ++first) {
    if (IsManifestNameInAnyCase(first->first)) continue;
    assert(count < kFilesPerFlush);
    names[count++] = &first->first;
  }
  size_t flushed = 0;
  while ((flushed += FlushInstalledFiles(names + flushed, count - flushed)) < count) {
    if (!AskRetry(kWriteFailed)) return false;
  }
  return true;
}

// Every entry's stored data checked against the package's integrity data before the first
// file is written, so that a damaged download changes nothing at all. It reads the package
// once more without decrypting it, through one handle: a few percent of the install. The
// installer's own file cannot be written while it runs, so what is checked here is what the
// walk reads.
bool CheckEveryEntry() {
  std::vector<const PackageEntry*> entries;
  for (const auto& [name, entry] : PackageIndex) {
    if (!IsManifestNameInAnyCase(name)) entries.push_back(&entry);
  }
  if (FindDamagedEntries(PackageVolumeTable, entries).empty()) return true;
  AskUser(kEntryDamaged, MB_ICONERROR);
  return false;
}

// Decoded pieces gathered into writes of about a megabyte, straight into the temporary file.
struct DecodedOutput {
  OutputFile* file;
  std::string pending;
  bool writeFailed = false;
};

bool WriteDecoded(const uint8_t* data, uint32_t length, void* context) {
  auto& out = *static_cast<DecodedOutput*>(context);
  out.pending.append(reinterpret_cast<const char*>(data), length);
  if (out.pending.size() < kDecodedWriteLength) return true;
  if (!out.file->Write(out.pending)) {
    out.writeFailed = true;
    return false;
  }
  out.pending.clear();
  return true;
}

// The mismatch message with the file's name in it.
void ShowGameFileMismatch(const std::string& name) {
  std::string text = kGameFileMismatchFormat;
  text.replace(text.find("%s"), 2, name);
  AskUser(text.c_str(), MB_ICONERROR);
}

// A compressed or delta entry decoded straight into its temporary file, so that neither its
// content nor the file it makes is ever held whole: the temporary file replaces the target
// only once the result has passed its check, and is discarded otherwise. The decode uses up
// `chunks`; a Retry reads the entry again. A delta's game file is open for reading only, and
// closed before the result is moved over it.
bool DecodeWithRetry(const std::string& name, const PackageEntry& entry,
                     const EntryEncoding& encoding, std::vector<std::string>& chunks) {
  bool stepped = false;
  return WriteWithRetry(name, false, [&](OutputFile& file) {
    if (chunks.empty() && !ReadEntryChunks(chunks, entry)) {
      file.Discard();
      AskUser(kEntryDamaged, MB_ICONERROR);
      return Filled::kGivenUp;
    }
    DecodedOutput out{&file, std::string(), false};
    out.pending.reserve(kDecodedWriteLength);
    EntryDecodeResult result = EntryDecodeResult::kSourceMismatch;
    {
      GameFileSource source(name);
      DeltaSource delta = source.AsDeltaSource();
      if (encoding.kind != EntryKind::kDelta || source.IsOpen()) {
        result = DecodeEntryContent(encoding, chunks, &delta, WriteDecoded, &out);
      }
    }
    chunks.clear();
    if (out.writeFailed || (result == EntryDecodeResult::kDecoded && !out.pending.empty() &&
                            !file.Write(out.pending))) {
      return Filled::kWriteFailed;
    }
    if (result != EntryDecodeResult::kDecoded) {
      file.Discard();
      if (result == EntryDecodeResult::kSourceMismatch) {
        ShowGameFileMismatch(name);
      } else {
        AskUser(kEntryDamaged, MB_ICONERROR);
      }
      return Filled::kGivenUp;
    }
    if (CancelRequested.load()) return Filled::kGivenUp;
    if (!stepped) StepProgress();
    stepped = true;
    return Filled::kWritten;
  });
}

// Every delta's game file checked before the first write, so that a game folder the patch
// does not fit is left exactly as it was, rather than half patched.
bool CheckDeltaSources() {
  for (const auto& [name, entry] : PackageIndex) {
    if (CancelRequested.load()) return false;
    EntryKind kind = EntryKind::kWhole;
    if (IsManifestNameInAnyCase(name) ||
        (ReadEntryKind(PackageVolumeTable[entry.volume].integrity, entry, kind) &&
         kind != EntryKind::kDelta)) {
      continue;
    }
    EntryEncoding encoding;
    if (!ReadEntryEncoding(PackageVolumeTable, entry, encoding)) {
      AskUser(kEntryDamaged, MB_ICONERROR);
      return false;
    }
    GameFileSource source(name);
    if (!source.IsOpen() || !IsDeltaSource(source.AsDeltaSource(), encoding)) {
      ShowGameFileMismatch(name);
      return false;
    }
  }
  return true;
}

bool RunInstall() {
  // The range counts the manifest, which the walk skips, and travels as 16 bits.
  const auto upperBound = static_cast<WORD>((PackageIndex.size() * 2) & 0xFFFFu);
  BeginProgress(GetDlgItem(DialogWindow.load(), IDC_PROGRESS), upperBound);
  if (!CheckEveryEntry() || !CheckDeltaSources()) return false;

  const bool flushInBatches = InstalledFilesNeedFlush();
  IndexPosition unflushed = PackageIndex.begin();
  size_t unflushedCount = 0;
  for (auto element = PackageIndex.begin(); element != PackageIndex.end(); ++element) {
    const auto& [name, entry] = *element;
    if (CancelRequested.load()) return false;
    if (IsManifestNameInAnyCase(name)) continue;
    if (entry.size >= kLongEntryLength) ShowProgress();
    if (!ExtractEntry(name, entry)) return false;
    StepProgress();
    if (flushInBatches && ++unflushedCount == kFilesPerFlush) {
      if (!FlushWrittenFiles(unflushed, std::next(element))) return false;
      unflushed = std::next(element);
      unflushedCount = 0;
    }
  }
  // Every file is on the disk before the version file names the new version.
  if (flushInBatches && !FlushWrittenFiles(unflushed, PackageIndex.end())) return false;
  // Giving up during the last entry still leaves the version as it was.
  if (CancelRequested.load()) return false;
  return WriteVersionFile();
}

}  // namespace

bool ExtractEntry(const std::string& name, const PackageEntry& entry) {
  // Read and decrypted whole before the file is touched: a damaged entry costs memory for
  // its chunks, never a game file.
  std::vector<std::string> chunks;
  if (!ReadEntryChunks(chunks, entry)) {
    AskUser(kEntryDamaged, MB_ICONERROR);
    return false;
  }
  if (CancelRequested.load()) return false;
  EntryEncoding encoding;
  if (!ReadEntryKind(PackageVolumeTable[entry.volume].integrity, entry, encoding.kind) ||
      (encoding.kind != EntryKind::kWhole &&
       (chunks.empty() || !ParseEntryHeader(reinterpret_cast<const uint8_t*>(chunks[0].data()),
                                            chunks[0].size(), encoding)))) {
    AskUser(kEntryDamaged, MB_ICONERROR);
    return false;
  }
  if (encoding.kind != EntryKind::kWhole) return DecodeWithRetry(name, entry, encoding, chunks);
  if (CancelRequested.load()) return false;
  StepProgress();
  return WriteBlocksWithRetry(name, chunks, false);
}

bool WriteVersionFile() {
  // The one flush of the disk's cache: it puts the game files written out before it on the
  // disk, and only then is the new version moved into place.
  return WriteBlocksWithRetry("Bin\\version.xml", {FormatVersionFile(PatchVersion)}, true);
}

DWORD WINAPI InstallWorker(LPVOID) {
  bool succeeded = false;
  try {
    succeeded = RunInstall();
  } catch (...) {
    // Out of memory outside the entry reads: the install ends unfinished, but the dialog
    // must still be told, or it would wait for ever.
    succeeded = false;
  }
  // The bar stands where two steps per written file put it before the dialog closes.
  ShowProgress();
  // Stored before InstallRunning is cleared: a Close that sees the install over and ends the
  // dialog then finds the final outcome.
  InstallSucceeded.store(succeeded ? 1 : 0);
  InstallRunning.store(0);
  SendMessageW(DialogWindow.load(), WM_INSTALL_DONE, 0, 0);
  return 0;
}
