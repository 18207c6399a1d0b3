#include "delta/DeltaEncoder.h"

#include <fstream>
#include <new>
#include <vector>

#include "delta/DeltaBodyWriter.h"
#include "delta/DeltaMatcher.h"
#include "delta/SuffixArray.h"

namespace {

// One side of the delta, whole in memory or read from a file a window at a time.
struct DeltaInput {
  uint64_t length = 0;
  const uint8_t* bytes = nullptr;  // the whole input, or
  std::ifstream* file = nullptr;   // where it is read from when not in memory
};

bool ReadWindow(const DeltaInput& input, uint64_t offset, uint64_t length,
                std::vector<uint8_t>& buffer, const uint8_t*& bytes) {
  if (input.file == nullptr) {
    bytes = input.bytes + offset;
    return true;
  }
  buffer.resize(static_cast<size_t>(length));
  input.file->clear();
  input.file->seekg(static_cast<std::streamoff>(offset));
  input.file->read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(length));
  bytes = buffer.data();
  return static_cast<bool>(*input.file);
}

// The source window for a stretch of the target: the whole source when it fits, otherwise
// a window centred where the last matches point, so that inserted or removed data before
// this stretch does not lose it its counterpart.
uint64_t WindowStart(uint64_t sourceLength, uint64_t windowLength, uint64_t targetOffset,
                     uint64_t stretchLength, int64_t drift) {
  if (sourceLength <= windowLength) return 0;
  const int64_t centre = static_cast<int64_t>(targetOffset + stretchLength / 2) + drift;
  const int64_t start = centre - static_cast<int64_t>(windowLength / 2);
  if (start <= 0) return 0;
  const uint64_t last = sourceLength - windowLength;
  return static_cast<uint64_t>(start) > last ? last : static_cast<uint64_t>(start);
}

// Which input failed to read, for the file-level message.
enum class ReadFault { kNone, kSource, kTarget };

bool Encode(const DeltaInput& source, const DeltaInput& target,
            const DeltaEncoderOptions& options, DeltaBodySink sink, void* context,
            DeltaEncoderResult& result, ReadFault& fault) {
  DeltaBodyWriter writer;
  writer.sink = sink;
  writer.context = context;
  writer.bodyLimit = options.bodyLimit;
  writer.compressionLevel = options.compressionLevel;
  const auto finish = [&](bool done) {
    result.bodyLength = writer.bodyLength;
    result.abandoned = writer.abandoned;
    return done;
  };
  // A suffix array's offsets are 32-bit.
  uint64_t windowLength = options.sourceWindowLength;
  if (windowLength == 0 || windowLength > INT32_MAX) windowLength = INT32_MAX;
  if (windowLength > source.length) windowLength = source.length;
  const uint64_t stretchLimit = options.targetWindowLength == 0 ? 1 : options.targetWindowLength;

  if (!StartDeltaBody(writer, source.length, target.length)) return finish(false);
  std::vector<uint8_t> sourceBuffer, targetBuffer;
  std::vector<int32_t> suffixes;
  DeltaSourceWindow window;
  bool built = false;
  int64_t drift = 0;
  for (uint64_t offset = 0; offset < target.length;) {
    const uint64_t left = target.length - offset;
    const uint64_t stretch = left < stretchLimit ? left : stretchLimit;
    const uint64_t start = WindowStart(source.length, windowLength, offset, stretch, drift);
    // A window that moved little is kept: rebuilding costs more than the matches it gains.
    const uint64_t moved = start > window.offset ? start - window.offset : window.offset - start;
    if (!built || moved > windowLength / 4) {
      const uint8_t* bytes = nullptr;
      suffixes.clear();
      if (!ReadWindow(source, start, windowLength, sourceBuffer, bytes)) {
        fault = ReadFault::kSource;
        return finish(false);
      }
      if (!BuildSuffixArray(bytes, static_cast<int32_t>(windowLength), suffixes)) {
        return finish(false);
      }
      window.bytes = bytes;
      window.length = static_cast<int32_t>(windowLength);
      window.offset = start;
      window.suffixes = suffixes.data();
      built = true;
    }
    const uint8_t* bytes = nullptr;
    if (!ReadWindow(target, offset, stretch, targetBuffer, bytes)) {
      fault = ReadFault::kTarget;
      return finish(false);
    }
    if (!MatchDeltaTarget(window, bytes, stretch, offset, drift, writer)) return finish(false);
    offset += stretch;
  }
  return finish(FinishDeltaBody(writer));
}

}  // namespace

bool EncodeDelta(const uint8_t* source, size_t sourceLength, const uint8_t* target,
                 size_t targetLength, const DeltaEncoderOptions& options, DeltaBodySink sink,
                 void* context, DeltaEncoderResult& result) {
  result = {};
  DeltaInput from, to;
  from.length = sourceLength;
  from.bytes = source;
  to.length = targetLength;
  to.bytes = target;
  ReadFault fault = ReadFault::kNone;
  try {
    return Encode(from, to, options, sink, context, result, fault);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool EncodeDeltaFiles(const std::filesystem::path& source, const std::filesystem::path& target,
                      const DeltaEncoderOptions& options, DeltaBodySink sink, void* context,
                      DeltaEncoderResult& result, std::string& error) {
  result = {};
  std::error_code code;
  std::ifstream sourceFile(source, std::ios::binary);
  const uint64_t sourceLength = std::filesystem::file_size(source, code);
  if (!sourceFile || code) {
    error = source.u8string() + ": cannot be read";
    return false;
  }
  std::ifstream targetFile(target, std::ios::binary);
  const uint64_t targetLength = std::filesystem::file_size(target, code);
  if (!targetFile || code) {
    error = target.u8string() + ": cannot be read";
    return false;
  }
  DeltaInput from, to;
  from.length = sourceLength;
  from.file = &sourceFile;
  to.length = targetLength;
  to.file = &targetFile;
  ReadFault fault = ReadFault::kNone;
  bool done = false;
  try {
    done = Encode(from, to, options, sink, context, result, fault);
  } catch (const std::bad_alloc&) {
    error = "out of memory making the delta of " + target.u8string();
    return false;
  }
  if (fault == ReadFault::kSource) error = source.u8string() + ": cannot be read";
  if (fault == ReadFault::kTarget) error = target.u8string() + ": cannot be read";
  if (!done && error.empty() && !result.abandoned) {
    error = "the delta of " + target.u8string() + " could not be written";
  }
  return done;
}
