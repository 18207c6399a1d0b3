#pragma once
// The entry data of a package as vantis-pack writes it: each entry's content read, cut into
// the packer's chunks, encrypted and handed on in batches, to a sink on the calling thread
// that writes them and to one on a second thread that digests them, so that digesting
// overlaps reading, encrypting and writing.

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

// Takes the finished chunks in order, a batch at a time. `data` is valid only during the
// call. False stops everything; `error` says why.
using EntryDataSink = bool (*)(const uint8_t* data, size_t length, void* context,
                               std::string& error);

struct EntryDataOutput {
  EntryDataSink write;   // on the calling thread, as soon as a batch is encrypted
  EntryDataSink digest;  // on a second thread, while the next batches are made
  void* context;
};

// Hands each source's entry chunk stream to both sinks, in the order given: the bytes of
// EncodeEntryStream(key, content, {}) one after the other, however the threads interleave.
// Memory stays at a few megabytes whatever the entries' sizes. On success `writtenLength`
// is the number of bytes handed on. Fails when a file cannot be read or no longer has its
// length, or when a sink fails; `error` names the file and the reason, or is the sink's.
bool WriteEntryData(const std::vector<EntryDataSource>& sources, const std::string& key,
                    const EntryDataOutput& output, ProgressBar& progress,
                    uint64_t& writtenLength, std::string& error);
