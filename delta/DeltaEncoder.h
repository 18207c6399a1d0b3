#pragma once
// Making a binary delta that takes a source file to a target file (the decoder is
// DeltaDecoder.h). Matches are found with a suffix array of the source, extended over
// bytes that differ a little (code whose addresses moved), so the delta is small for
// executables, archives whose members moved, and text alike. Files too large for one
// suffix array are matched in windows, so memory stays bounded for any size.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// Takes the delta body in pieces, in order. False stops the encoder with failure.
using DeltaBodySink = bool (*)(const uint8_t* data, size_t length, void* context);

struct DeltaEncoderOptions {
  // Stop as soon as the body grows past this many bytes: not worth more than the file
  // stored otherwise. The encoder then returns false with `abandoned` set.
  uint64_t bodyLimit = UINT64_MAX;
  int compressionLevel = 9;  // zlib's, for the delta's streams
  // Past this source length the source is matched in windows of this length, each with its
  // own suffix array (5 bytes a source byte while matching, up to 7 while it is built).
  uint64_t sourceWindowLength = 128u << 20;
  // The target is matched in stretches of this length, each against one source window.
  uint64_t targetWindowLength = 64u << 20;
};

struct DeltaEncoderResult {
  uint64_t bodyLength = 0;
  bool abandoned = false;  // the body passed options.bodyLimit
};

// Both files whole in memory (small files, tests, fuzzers).
bool EncodeDelta(const uint8_t* source, size_t sourceLength, const uint8_t* target,
                 size_t targetLength, const DeltaEncoderOptions& options, DeltaBodySink sink,
                 void* context, DeltaEncoderResult& result);

// The files read from disk, in windows where they are large: peak memory stays below
// about 2 GiB for files of any size. False with `error` naming the file on a read failure.
bool EncodeDeltaFiles(const std::filesystem::path& source, const std::filesystem::path& target,
                      const DeltaEncoderOptions& options, DeltaBodySink sink, void* context,
                      DeltaEncoderResult& result, std::string& error);
