#pragma once
// The entry data of a package as vantis-pack writes it: each entry's content read, cut into
// the packer's chunks, encrypted and written, with reading and encrypting on the calling
// thread and writing on another, so that the two overlap.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "packer/Progress.h"
#include "packer/StagedFile.h"

struct EntryDataSource {
  std::string displayName;               // in messages and on the progress bar
  std::filesystem::path path;            // read from here when `content` is null
  const std::string* content = nullptr;  // bytes made in memory (the converted manifest)
  uint64_t length = 0;                   // the entry's size: exactly this much is read
};

// Appends each source's entry chunk stream to `out`, in the order given: the bytes of
// EncodeEntryStream(key, content, {}) one after the other, however the threads interleave.
// Memory stays at a few megabytes whatever the entries' sizes. On success `writtenLength`
// is the number of bytes appended. Fails when a file cannot be read or no longer has its
// length, or when `out` fails; `error` names the file and the reason.
bool WriteEntryData(const std::vector<EntryDataSource>& sources, const std::string& key,
                    StagedFile& out, ProgressBar& progress, uint64_t& writtenLength,
                    std::string& error);
