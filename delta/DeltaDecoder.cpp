#include "delta/DeltaDecoder.h"

#include <zlib.h>

#include <cstring>
#include <new>
#include <vector>

#include "delta/DeltaFormat.h"

namespace {

// Source bytes are read ahead in pieces this long, and the target goes to the sink in pieces
// up to this long: add runs are often a few bytes, and a read or a sink call for each would
// cost the installer a file call per run.
constexpr uint32_t kPieceLength = 64u << 10;

struct Apply {
  const DeltaSource* source = nullptr;
  DeltaTargetSink sink = nullptr;
  void* sinkContext = nullptr;

  std::vector<uint8_t> sourcePiece;  // the source from sourcePieceOffset, read ahead
  uint64_t sourcePieceOffset = 0;
  uint32_t sourcePieceLength = 0;

  std::vector<uint8_t> output;  // target bytes not yet handed to the sink
  uint32_t crc = 0;
  bool checkTarget = true;  // false: the source's content is not known, only its length
  uint64_t targetLength = 0;
};

bool Flush(Apply& apply) {
  if (apply.output.empty()) return true;
  const uint32_t length = static_cast<uint32_t>(apply.output.size());
  apply.crc = static_cast<uint32_t>(crc32(apply.crc, apply.output.data(), length));
  const bool taken = apply.sink(apply.output.data(), length, apply.sinkContext);
  apply.output.clear();
  return taken;
}

// Source bytes from `offset`, at most `wanted` and at most what the read-ahead holds: the
// caller checked that the source has them.
bool SourceAt(Apply& apply, uint64_t offset, uint32_t wanted, const uint8_t*& bytes,
              uint32_t& length) {
  if (offset < apply.sourcePieceOffset ||
      offset >= apply.sourcePieceOffset + apply.sourcePieceLength) {
    const uint64_t left = apply.source->length - offset;
    const uint32_t pieceLength = left < kPieceLength ? static_cast<uint32_t>(left) : kPieceLength;
    apply.sourcePieceLength = 0;
    if (!apply.source->read(offset, apply.sourcePiece.data(), pieceLength,
                            apply.source->context)) {
      return false;
    }
    apply.sourcePieceOffset = offset;
    apply.sourcePieceLength = pieceLength;
  }
  const uint64_t skip = offset - apply.sourcePieceOffset;
  const uint32_t held = apply.sourcePieceLength - static_cast<uint32_t>(skip);
  bytes = apply.sourcePiece.data() + skip;
  length = wanted < held ? wanted : held;
  return true;
}

// A stream as StoreStream wrote it: its bytes as they are when the lengths are equal,
// raw deflate otherwise.
bool Inflate(const uint8_t* stored, size_t storedLength, std::vector<uint8_t>& raw) {
  if (storedLength == raw.size()) {
    if (storedLength != 0) std::memcpy(raw.data(), stored, storedLength);
    return true;
  }
  z_stream stream{};
  if (inflateInit2(&stream, -15) != Z_OK) return false;
  stream.next_in = const_cast<Bytef*>(stored);
  stream.avail_in = static_cast<uInt>(storedLength);
  stream.next_out = raw.data();
  stream.avail_out = static_cast<uInt>(raw.size());
  // A deflated stream may make nothing, so the output buffer may be empty.
  uint8_t spare = 0;
  if (raw.empty()) {
    stream.next_out = &spare;
    stream.avail_out = 1;
  }
  const int status = inflate(&stream, Z_FINISH);
  const bool whole = status == Z_STREAM_END && stream.avail_in == 0 &&
                     stream.total_out == raw.size();
  inflateEnd(&stream);
  return whole;
}

struct Block {
  uint32_t targetLength = 0;
  std::vector<uint8_t> instructions, diff, fresh;
};

bool ReadBlock(const uint8_t*& at, const uint8_t* end, uint64_t targetLeft, Block& block) {
  uint64_t targetLength = 0;
  if (!GetVarint(at, end, targetLength)) return false;
  if (targetLength == 0 || targetLength > kBlockTargetLimit || targetLength > targetLeft) {
    return false;
  }
  block.targetLength = static_cast<uint32_t>(targetLength);
  const uint64_t rawLimits[3] = {kBlockInstructionLimit, targetLength + kDiffRunsOverhead,
                                 targetLength};
  uint64_t rawLengths[3] = {}, storedLengths[3] = {};
  for (int i = 0; i < 3; ++i) {
    if (!GetVarint(at, end, rawLengths[i]) || !GetVarint(at, end, storedLengths[i])) return false;
    if (rawLengths[i] > rawLimits[i]) return false;
  }
  std::vector<uint8_t>* streams[3] = {&block.instructions, &block.diff, &block.fresh};
  for (int i = 0; i < 3; ++i) {
    if (storedLengths[i] > static_cast<uint64_t>(end - at) || storedLengths[i] > UINT32_MAX) {
      return false;
    }
    streams[i]->resize(static_cast<size_t>(rawLengths[i]));
    if (!Inflate(at, static_cast<size_t>(storedLengths[i]), *streams[i])) return false;
    at += storedLengths[i];
  }
  return true;
}

// Where the block's diff runs stand.
struct DiffRuns {
  const uint8_t* at = nullptr;
  const uint8_t* end = nullptr;
  uint64_t zeros = 0, literals = 0;
};

bool NextRun(DiffRuns& runs) {
  if (!GetVarint(runs.at, runs.end, runs.zeros) || !GetVarint(runs.at, runs.end, runs.literals)) {
    return false;
  }
  return (runs.zeros != 0 || runs.literals != 0) &&
         runs.literals <= static_cast<uint64_t>(runs.end - runs.at);
}

// Source bytes plus the next diff bytes into `out`.
bool AddDiff(DiffRuns& runs, const uint8_t* source, uint8_t* out, uint32_t length) {
  uint32_t i = 0;
  while (i < length) {
    if (runs.zeros == 0 && runs.literals == 0 && !NextRun(runs)) return false;
    const uint32_t left = length - i;
    if (runs.zeros != 0) {
      const uint32_t n = runs.zeros < left ? static_cast<uint32_t>(runs.zeros) : left;
      std::memcpy(out + i, source + i, n);
      runs.zeros -= n;
      i += n;
    } else {
      const uint32_t n = runs.literals < left ? static_cast<uint32_t>(runs.literals) : left;
      for (uint32_t j = 0; j < n; ++j) {
        out[i + j] = static_cast<uint8_t>(source[i + j] + runs.at[j]);
      }
      runs.at += n;
      runs.literals -= n;
      i += n;
    }
  }
  return true;
}

bool AddRun(Apply& apply, uint64_t& sourceOffset, DiffRuns& diff, uint64_t length) {
  while (length > 0) {
    const uint32_t wanted = length < kPieceLength ? static_cast<uint32_t>(length) : kPieceLength;
    const uint8_t* bytes = nullptr;
    uint32_t got = 0;
    if (!SourceAt(apply, sourceOffset, wanted, bytes, got)) return false;
    const uint32_t room = kPieceLength - static_cast<uint32_t>(apply.output.size());
    if (got > room) got = room;
    const size_t start = apply.output.size();
    apply.output.resize(start + got);
    if (!AddDiff(diff, bytes, apply.output.data() + start, got)) return false;
    sourceOffset += got;
    length -= got;
    if (apply.output.size() == kPieceLength && !Flush(apply)) return false;
  }
  return true;
}

bool CopyRun(Apply& apply, const uint8_t* fresh, uint64_t length) {
  while (length > 0) {
    const uint32_t room = kPieceLength - static_cast<uint32_t>(apply.output.size());
    const uint32_t got = length < room ? static_cast<uint32_t>(length) : room;
    apply.output.insert(apply.output.end(), fresh, fresh + got);
    fresh += got;
    length -= got;
    if (apply.output.size() == kPieceLength && !Flush(apply)) return false;
  }
  return true;
}

bool ApplyBlock(Apply& apply, const Block& block, uint64_t& sourceOffset) {
  const uint8_t* at = block.instructions.data();
  const uint8_t* end = at + block.instructions.size();
  DiffRuns diff;
  diff.at = block.diff.data();
  diff.end = diff.at + block.diff.size();
  size_t freshUsed = 0;
  uint64_t targetLeft = block.targetLength;
  const uint64_t sourceLength = apply.source->length;
  while (at != end) {
    uint64_t addLength = 0, copyLength = 0, seek = 0;
    if (!GetVarint(at, end, addLength) || !GetVarint(at, end, copyLength) ||
        !GetVarint(at, end, seek)) {
      return false;
    }
    if (addLength > targetLeft || addLength > sourceLength - sourceOffset) return false;
    if (!AddRun(apply, sourceOffset, diff, addLength)) return false;
    targetLeft -= addLength;

    if (copyLength > targetLeft || copyLength > block.fresh.size() - freshUsed) return false;
    if (!CopyRun(apply, block.fresh.data() + freshUsed, copyLength)) return false;
    freshUsed += static_cast<size_t>(copyLength);
    targetLeft -= copyLength;

    // Zigzag: the low bit is the sign, so a backward move of 2^63 still fits.
    if (seek & 1) {
      const uint64_t back = (seek >> 1) + 1;
      if (back > sourceOffset) return false;
      sourceOffset -= back;
    } else {
      const uint64_t forward = seek >> 1;
      if (forward > sourceLength - sourceOffset) return false;
      sourceOffset += forward;
    }
  }
  return targetLeft == 0 && diff.at == diff.end && diff.zeros == 0 && diff.literals == 0 &&
         freshUsed == block.fresh.size();
}

bool ApplyBody(const uint8_t* delta, size_t length, Apply& apply, uint64_t targetLimit) {
  const uint8_t* at = delta;
  const uint8_t* end = delta + length;
  if (length < sizeof kDeltaMagic || std::memcmp(at, kDeltaMagic, sizeof kDeltaMagic) != 0) {
    return false;
  }
  at += sizeof kDeltaMagic;
  uint64_t sourceLength = 0, targetLength = 0;
  if (!GetVarint(at, end, sourceLength) || !GetVarint(at, end, targetLength)) return false;
  if (sourceLength != apply.source->length || targetLength > targetLimit) return false;
  apply.targetLength = targetLength;

  apply.sourcePiece.resize(kPieceLength);
  apply.output.reserve(kPieceLength);
  apply.crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
  Block block;
  uint64_t sourceOffset = 0;
  uint64_t targetLeft = targetLength;
  while (targetLeft > 0) {
    if (!ReadBlock(at, end, targetLeft, block)) return false;
    if (!ApplyBlock(apply, block, sourceOffset)) return false;
    targetLeft -= block.targetLength;
  }
  if (!Flush(apply)) return false;
  if (end - at != 4) return false;
  const uint32_t crc = static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                       static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
  // Catches a source that has the right length but not the content the delta was made from.
  return !apply.checkTarget || crc == apply.crc;
}

bool ReadZeros(uint64_t, uint8_t* buffer, uint32_t length, void*) {
  std::memset(buffer, 0, length);
  return true;
}

bool Discard(const uint8_t*, uint32_t, void*) { return true; }

}  // namespace

bool ApplyDelta(const uint8_t* delta, size_t length, const DeltaSource& source,
                uint64_t targetLimit, DeltaTargetSink sink, void* sinkContext) {
  Apply apply;
  apply.source = &source;
  apply.sink = sink;
  apply.sinkContext = sinkContext;
  try {
    return ApplyBody(delta, length, apply, targetLimit);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool CheckDeltaStructure(const uint8_t* delta, size_t length, uint64_t sourceLength,
                         uint64_t targetLimit, uint64_t& targetLength) {
  const DeltaSource zeros{sourceLength, ReadZeros, nullptr};
  Apply apply;
  apply.source = &zeros;
  apply.sink = Discard;
  apply.checkTarget = false;
  try {
    if (!ApplyBody(delta, length, apply, targetLimit)) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  targetLength = apply.targetLength;
  return true;
}
