#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Receives one chunk's plaintext. `data` is valid only during the call: the reader reuses
// its buffer for the next chunk, so a sink copies what it keeps. Returning false ends the
// read with failure.
using ChunkSink = bool (*)(const uint8_t* data, uint32_t length, void* context);

// Keeps each chunk as one string of a std::vector<std::string> context. Throws
// std::bad_alloc when memory runs out.
inline bool CollectChunk(const uint8_t* data, uint32_t length, void* context) {
  static_cast<std::vector<std::string>*>(context)->emplace_back(
      reinterpret_cast<const char*>(data), length);
  return true;
}
