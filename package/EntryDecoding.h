#pragma once
// What an entry installs, from its content as stored (format/EntryEncoding.h): a whole
// entry's content as it is, a compressed one inflated, a delta applied to the game's
// current copy of the file. Every result is checked against the entry's header before it
// is reported decoded, so a caller writes nothing that is not exactly what was packed.

#include <cstdint>
#include <string>
#include <vector>

#include "delta/DeltaDecoder.h"
#include "package/Package.h"
#include "package/format/ChunkSink.h"
#include "package/format/EntryEncoding.h"

enum class EntryDecodeResult {
  kDecoded,
  kDamaged,         // the content is not what a packer wrote, or its result fails its check
  kSourceMismatch,  // a delta whose game file is missing or not the one it was made for
};

// The entry's kind and header, read from the first chunk of its content where it has one.
// False when the entry cannot be read, its kind is unknown or its header is cut short.
bool ReadEntryEncoding(const std::vector<PackageVolume>& volumes, const PackageEntry& entry,
                       EntryEncoding& encoding);

// Whether `source` is exactly the file a delta with `encoding` was made against: its length
// and CRC-32C, read whole.
bool IsDeltaSource(const DeltaSource& source, const EntryEncoding& encoding);

// Decodes `stored` (the entry's content, as its chunks) into `sink`, in order, giving each
// chunk's memory back once it is used, so that the content and its result are not held
// whole at once: `stored` is left empty. A delta
// reads the game's file through `source` (null for other kinds), which must have passed
// IsDeltaSource; it is checked again here, by its length. Throws std::bad_alloc when memory
// runs out. The sink may have seen part of a result that is then reported damaged.
EntryDecodeResult DecodeEntryContent(const EntryEncoding& encoding,
                                     std::vector<std::string>& stored,
                                     const DeltaSource* source, ChunkSink sink, void* context);
