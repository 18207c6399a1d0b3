#pragma once
// The entry chunk stream: IDEA-encrypted chunks behind 8-byte headers (plain length
// big-endian, stored length little-endian), until the plain lengths reach the entry's size.

#include <cstdint>
#include <string>

#include "crypto/ChunkSink.h"
#include "platform/File.h"

constexpr uint32_t kEntryPlainLimit = 1048576;          // 1 MiB
constexpr uint32_t kEntryStoredLimit = 1048576 - 8;     // header and ciphertext share 1 MiB

// Reads the stream that starts at the file's current position, for an entry of `size`
// bytes. True when the delivered plain lengths add up to at least the size; a size of 0
// reads nothing. Throws std::bad_alloc when memory runs out (here or in the sink).
bool ReadEntryStream(ChunkSink sink, void* context, FileHandle file, uint32_t size,
                     const std::string& key);
