#pragma once
// The directory chunk stream: RC2-encrypted chunks of at most 8 KiB behind 4-byte headers
// whose lengths are masked by a chained XOR. Ends with a header whose length unmasks to 0.

#include <cstdint>
#include <string>

#include "crypto/ChunkSink.h"
#include "platform/File.h"

constexpr uint16_t kDirectoryChainSeed = 0x5C3B;
constexpr uint32_t kDirectoryChunkLimit = 8192;

// Reads forward from the file's current position until the terminator, handing each
// chunk's plaintext (1 to 8192 bytes) to `consumer`. Fails for an empty key. Throws
// std::bad_alloc when memory runs out.
bool ReadDirectoryStream(FileHandle file, const std::string& key, ChunkSink consumer,
                         void* context);
