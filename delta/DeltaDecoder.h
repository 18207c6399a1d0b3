#pragma once
// Applying a binary delta: the target rebuilt from a source file and the delta's
// instructions, the bytes it adds and the bytes it brings new. The layout is in
// DeltaFormat.h. Memory stays bounded by one block of the delta, whatever the files' sizes.

#include <cstddef>
#include <cstdint>

// Reads `length` bytes of the source from `offset`. False when they cannot be read.
using DeltaSourceReader = bool (*)(uint64_t offset, uint8_t* buffer, uint32_t length,
                                   void* context);
// Takes the next piece of the target, in order. `data` is valid only during the call.
// Returning false ends the apply with failure.
using DeltaTargetSink = bool (*)(const uint8_t* data, uint32_t length, void* context);

struct DeltaSource {
  uint64_t length = 0;  // no read reaches past it
  DeltaSourceReader read = nullptr;
  void* context = nullptr;
};

// Rebuilds the target of the delta body `delta` (`length` bytes) from `source` into `sink`.
// False when the body is malformed or truncated, asks for source bytes outside the source,
// or names a target longer than `targetLimit`; when a read or the sink fails; or when
// memory runs out. The sink may then have seen part of a target: callers keep nothing of it
// before the result. Never reads outside `delta` or the source.
bool ApplyDelta(const uint8_t* delta, size_t length, const DeltaSource& source,
                uint64_t targetLimit, DeltaTargetSink sink, void* sinkContext);

// Whether `delta` is a body ApplyDelta would take from a source of `sourceLength` bytes:
// every check it makes but the target's checksum, which needs the source's content. The
// source reads as zeros, so nothing is read from any file. `targetLength` is the length the
// body rebuilds. Never reads outside `delta`; memory as ApplyDelta.
bool CheckDeltaStructure(const uint8_t* delta, size_t length, uint64_t sourceLength,
                         uint64_t targetLimit, uint64_t& targetLength);
