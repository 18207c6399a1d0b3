#pragma once
// The directory chunk stream: RC2-encrypted chunks of at most 8 KiB behind 4-byte headers
// whose lengths are masked by a chained XOR. Ends with a header whose length unmasks to 0.
// The reader and the writer; the layout is in DirectoryStream.cpp.

#include <cstdint>
#include <string>
#include <vector>

#include "package/format/ChunkSink.h"
#include "package/format/FormatConstants.h"
#include "platform/File.h"

// Reads forward from the file's current position until the terminator, handing each
// chunk's plaintext (1 to 8192 bytes) to `consumer`. Fails for an empty key. Throws
// std::bad_alloc when memory runs out.
bool ReadDirectoryStream(FileHandle file, const std::string& key, ChunkSink consumer,
                         void* context);

// A directory chunk stream under construction. `chain` is the value the next header is
// masked with: the seed, then each header's masked plain length.
struct DirectoryStreamWriter {
  std::string key;
  uint16_t chain = kDirectoryChainSeed;
  std::string bytes;
};

// Lengths are written as given, so they may contradict the data or break the limits; the
// ciphertext is the plaintext cut or zero-padded to the stored length. With an empty key
// the ciphertext stays plaintext: the RC2 variant has no expansion for it, and the reader
// refuses such a directory before reading it.
void AppendDirectoryChunk(DirectoryStreamWriter& stream, const std::string& plaintext,
                          uint16_t plainLength, uint16_t storedLength);
// The packer's lengths: the plaintext's length, and that rounded up to whole blocks.
void AppendDirectoryChunk(DirectoryStreamWriter& stream, const std::string& plaintext);
// A header whose plain length unmasks to 0 under the current chain.
void AppendDirectoryTerminator(DirectoryStreamWriter& stream);

// The plaintext of each directory chunk: as many whole records (from EncodeDirectoryRecord)
// as fit under the chunk limit. A record never continues into the next chunk.
std::vector<std::string> GroupDirectoryRecords(const std::vector<std::string>& records);
// The whole directory stream: each chunk with the packer's lengths, then the terminator.
std::string EncodeDirectoryStream(const std::string& key, const std::vector<std::string>& chunks);
