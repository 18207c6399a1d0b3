#pragma once

#include <cstdint>

// Receives one chunk's plaintext. `data` is valid only during the call: the reader reuses
// its buffer for the next chunk, so a sink copies what it keeps. Returning false ends the
// read with failure.
using ChunkSink = bool (*)(const uint8_t* data, uint32_t length, void* context);
