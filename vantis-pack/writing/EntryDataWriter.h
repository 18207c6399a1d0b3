#pragma once
// The entry data of a package as vantis-pack writes it: each entry's content read, cut into
// the packer's chunks, encrypted and handed on in batches, to a sink that digests them on a
// second thread, so that digesting overlaps reading and encrypting. Each batch is written
// by whichever thread has less to do at the time.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "vantis-pack/report/Progress.h"

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

// Writes a batch `offset` bytes into the entry data. Called on either thread, at times on
// both at once, and not in the order of the offsets. False and `error` as for a sink.
using EntryDataWriteAt = bool (*)(uint64_t offset, const uint8_t* data, size_t length,
                                  void* context, std::string& error);

struct EntryDataOutput {
  EntryDataWriteAt writeAt;
  EntryDataSink digest;  // on the second thread, while the next batches are made
  void* context;
};

// Hands each source's entry chunk stream to the digest in the order given, and writes it
// where that order puts it: the bytes of EncodeEntryStream(key, content, {}) one after the
// other, however the threads interleave.
// Memory stays at a few megabytes whatever the entries' sizes. On success `writtenLength`
// is the number of bytes handed on, and `streamChecksums` holds the CRC-32C of each
// source's stream as written, in the sources' order (the integrity data's aux3). Fails when
// a file cannot be read or no longer has its length, or when a write or the digest fails;
// `error` names the file and the reason, or is the output's.
bool WriteEntryData(const std::vector<EntryDataSource>& sources, const std::string& key,
                    const EntryDataOutput& output, ProgressBar& progress,
                    uint64_t& writtenLength, std::vector<uint32_t>& streamChecksums,
                    std::string& error);
