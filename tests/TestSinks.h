#pragma once
// Chunk sinks and results for tests of the chunk readers.

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "package/format/ChunkSink.h"
#include "platform/File.h"

// Keeps the first chunk, then refuses.
inline bool CollectOneChunk(const uint8_t* data, uint32_t length, void* context) {
  auto* chunks = static_cast<std::vector<std::string>*>(context);
  if (!chunks->empty()) return false;
  return CollectChunk(data, length, context);
}

// Runs out of memory, as a sink that copies a chunk may.
inline bool ThrowBadAlloc(const uint8_t*, uint32_t, void*) { throw std::bad_alloc(); }

// A chunk reader's outcome: its result, the chunks it delivered, and what follows the
// position where it stopped.
struct StreamResult {
  bool ok = false;
  std::vector<std::string> chunks;
  std::string unread;

  // Takes up to 32 bytes from the file's position on.
  void TakeUnread(FileHandle file) {
    char rest[32];
    uint32_t restLength = 0;
    EXPECT_TRUE(ReadFileBytes(file, rest, sizeof rest, &restLength));
    unread.assign(rest, restLength);
  }
};
