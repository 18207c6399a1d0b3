#pragma once
// The entry data of a package as vantis-pack writes it: each entry's content read, cut into
// the packer's chunks, encrypted and written, with reading and encrypting on the calling
// thread and writing on another, so that the two overlap.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "packer/Progress.h"

struct EntryDataSource {
  std::string displayName;               // in messages and on the progress bar
  std::filesystem::path path;            // read from here when `content` is null
  const std::string* content = nullptr;  // bytes made in memory (the converted manifest)
  uint64_t length = 0;                   // the entry's size: exactly this much is read
};

// Takes the finished chunks in order, a batch at a time, on the writing thread. `data` is
// valid only during the call. False stops the write; `error` says why.
using EntryDataSink = bool (*)(const uint8_t* data, size_t length, void* context,
                               std::string& error);

// Hands each source's entry chunk stream to `sink`, in the order given: the bytes of
// EncodeEntryStream(key, content, {}) one after the other, however the threads interleave.
// Memory stays at a few megabytes whatever the entries' sizes. On success `writtenLength`
// is the number of bytes handed over. Fails when a file cannot be read or no longer has its
// length, or when the sink fails; `error` names the file and the reason, or is the sink's.
bool WriteEntryData(const std::vector<EntryDataSource>& sources, const std::string& key,
                    EntryDataSink sink, void* context, ProgressBar& progress,
                    uint64_t& writtenLength, std::string& error);
