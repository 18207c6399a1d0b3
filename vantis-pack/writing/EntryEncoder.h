#pragma once
// Choosing how each entry is stored: whole, deflated, or as a delta against the old
// version's copy of the file, whichever is smallest (package/format/EntryEncoding.h). The
// stored forms other than whole go into files of a work folder, which the entry data
// writer then reads like any source file, so memory stays bounded whatever the sizes.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "package/format/EntryEncoding.h"
#include "vantis-pack/report/Progress.h"

struct EntryEncodingJob {
  std::string displayName;             // in messages and on the progress bar
  std::filesystem::path path;          // the file to install
  uint64_t size = 0;
  std::filesystem::path deltaSource;   // the old version's copy; empty: no delta
};

struct EncodedEntry {
  EntryKind kind = EntryKind::kWhole;
  std::filesystem::path storedPath;  // the stored content; the job's path when whole
  uint64_t storedSize = 0;
  uint64_t installedSize = 0;
};

struct EntryEncodingChoice {
  bool compress = false;
  bool delta = false;
};

// A folder of its own for the stored forms, removed with everything in it when the object
// goes, and by Ctrl-C or SIGTERM from the moment EncodeEntries starts to fill it: only a run
// killed outright leaves it behind.
class EncodingWorkFolder {
 public:
  // Created in the system's temporary folder (TMPDIR on Linux, TMP on Windows).
  EncodingWorkFolder();
  ~EncodingWorkFolder();
  EncodingWorkFolder(const EncodingWorkFolder&) = delete;
  EncodingWorkFolder& operator=(const EncodingWorkFolder&) = delete;

  bool IsReady() const { return !path_.empty(); }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Encodes every job, on as many threads as the processor has (deltas one at a time, for
// their memory). `encoded` follows the jobs' order. False with `error` naming the file
// when a file cannot be read or a form cannot be written.
bool EncodeEntries(const std::vector<EntryEncodingJob>& jobs, const EntryEncodingChoice& choice,
                   const EncodingWorkFolder& folder, ProgressBar& progress,
                   std::vector<EncodedEntry>& encoded, std::string& error);
