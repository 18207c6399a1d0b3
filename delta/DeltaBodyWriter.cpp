#include "delta/DeltaBodyWriter.h"

#include <zlib.h>

#include <cstddef>

#include "delta/DeltaFormat.h"

namespace {

bool Emit(DeltaBodyWriter& writer, const uint8_t* data, size_t length) {
  writer.bodyLength += length;
  if (writer.bodyLength > writer.bodyLimit) {
    writer.abandoned = true;
    return false;
  }
  return length == 0 || writer.sink(data, length, writer.context);
}

void PutTriple(DeltaBodyWriter& writer, uint64_t add, uint64_t copy, uint64_t seek) {
  uint8_t bytes[3 * kVarintLimit];
  size_t length = PutVarint(add, bytes);
  length += PutVarint(copy, bytes + length);
  length += PutVarint(seek, bytes + length);
  writer.instructions.insert(writer.instructions.end(), bytes, bytes + length);
}

// Writes the open instruction, then moves the source position to `sourceOffset`.
void CloseInstruction(DeltaBodyWriter& writer, uint64_t sourceOffset) {
  const bool forward = sourceOffset >= writer.sourceNext;
  const uint64_t distance =
      forward ? sourceOffset - writer.sourceNext : writer.sourceNext - sourceOffset;
  const uint64_t seek = forward ? distance << 1 : ((distance - 1) << 1) | 1;
  if (writer.openAddLength != 0 || writer.openCopyLength != 0 || seek != 0) {
    PutTriple(writer, writer.openAddLength, writer.openCopyLength, seek);
  }
  writer.openAddLength = writer.openCopyLength = 0;
  writer.sourceNext = sourceOffset;
}

// The diff bytes as runs (DeltaFormat.h): deflate alone stops near 1000 to 1 on the long
// zero runs that unchanged stretches make.
std::vector<uint8_t> RunsOf(const std::vector<uint8_t>& diff) {
  std::vector<uint8_t> runs;
  uint8_t bytes[2 * kVarintLimit];
  size_t at = 0;
  while (at < diff.size()) {
    const size_t zeroStart = at;
    while (at < diff.size() && diff[at] == 0) ++at;
    const size_t literalStart = at;
    size_t zeros = 0;
    while (at < diff.size() && zeros < kDiffZeroRunMinimum) {
      zeros = diff[at] == 0 ? zeros + 1 : 0;
      ++at;
    }
    if (zeros == kDiffZeroRunMinimum) at -= zeros;
    size_t length = PutVarint(literalStart - zeroStart, bytes);
    length += PutVarint(at - literalStart, bytes + length);
    runs.insert(runs.end(), bytes, bytes + length);
    runs.insert(runs.end(), diff.begin() + static_cast<std::ptrdiff_t>(literalStart),
                diff.begin() + static_cast<std::ptrdiff_t>(at));
  }
  return runs;
}

// Raw deflate (RFC 1951), or the bytes as they are where deflate does not make them
// shorter: a small patch's streams are a few bytes, for which a deflate block costs more
// than it saves. Equal lengths tell the reader which.
bool StoreStream(const std::vector<uint8_t>& raw, int level, std::vector<uint8_t>& stored) {
  stored = raw;
  if (raw.empty()) return true;
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  std::vector<uint8_t> deflated(deflateBound(&stream, static_cast<uLong>(raw.size())));
  stream.next_in = const_cast<Bytef*>(raw.data());
  stream.avail_in = static_cast<uInt>(raw.size());
  stream.next_out = deflated.data();
  stream.avail_out = static_cast<uInt>(deflated.size());
  const int status = deflate(&stream, Z_FINISH);
  const size_t length = stream.total_out;
  deflateEnd(&stream);
  if (status != Z_STREAM_END) return false;
  if (length < raw.size()) {
    deflated.resize(length);
    stored.swap(deflated);
  }
  return true;
}

bool FlushBlock(DeltaBodyWriter& writer) {
  CloseInstruction(writer, writer.sourceNext);
  if (writer.blockTargetLength == 0) return true;
  std::vector<uint8_t> diffRuns = RunsOf(writer.diff);
  std::vector<uint8_t>* streams[3] = {&writer.instructions, &diffRuns, &writer.fresh};
  std::vector<uint8_t> stored[3];
  std::vector<uint8_t> header(kVarintLimit * 7);
  size_t headerLength = PutVarint(writer.blockTargetLength, header.data());
  for (int i = 0; i < 3; ++i) {
    const std::vector<uint8_t>& raw = *streams[i];
    if (!StoreStream(raw, writer.compressionLevel, stored[i])) return false;
    headerLength += PutVarint(raw.size(), header.data() + headerLength);
    headerLength += PutVarint(stored[i].size(), header.data() + headerLength);
  }
  if (!Emit(writer, header.data(), headerLength)) return false;
  for (const std::vector<uint8_t>& bytes : stored) {
    if (!Emit(writer, bytes.data(), bytes.size())) return false;
  }
  writer.instructions.clear();
  writer.diff.clear();
  writer.fresh.clear();
  writer.blockTargetLength = 0;
  return true;
}

// Room in the block for target bytes; a full block, or one whose instructions near their
// limit, is written first.
bool BlockRoom(DeltaBodyWriter& writer, uint32_t& room) {
  if (writer.blockTargetLength == kBlockTargetLimit ||
      writer.instructions.size() > kBlockInstructionLimit - 6 * kVarintLimit) {
    if (!FlushBlock(writer)) return false;
  }
  room = kBlockTargetLimit - writer.blockTargetLength;
  return true;
}

}  // namespace

bool StartDeltaBody(DeltaBodyWriter& writer, uint64_t sourceLength, uint64_t targetLength) {
  uint8_t header[sizeof kDeltaMagic + 2 * kVarintLimit];
  size_t length = sizeof kDeltaMagic;
  for (size_t i = 0; i < sizeof kDeltaMagic; ++i) header[i] = kDeltaMagic[i];
  length += PutVarint(sourceLength, header + length);
  length += PutVarint(targetLength, header + length);
  writer.crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
  return Emit(writer, header, length);
}

bool AddDeltaRun(DeltaBodyWriter& writer, const uint8_t* source, uint64_t sourceOffset,
                 const uint8_t* target, uint64_t length) {
  if (length == 0) return true;
  if (writer.openCopyLength != 0 || sourceOffset != writer.sourceNext) {
    CloseInstruction(writer, sourceOffset);
  }
  while (length > 0) {
    uint32_t room = 0;
    if (!BlockRoom(writer, room)) return false;
    const uint32_t piece = length < room ? static_cast<uint32_t>(length) : room;
    const size_t start = writer.diff.size();
    writer.diff.resize(start + piece);
    for (uint32_t i = 0; i < piece; ++i) {
      writer.diff[start + i] = static_cast<uint8_t>(target[i] - source[i]);
    }
    writer.crc = static_cast<uint32_t>(crc32(writer.crc, target, piece));
    writer.openAddLength += piece;
    writer.sourceNext += piece;
    writer.blockTargetLength += piece;
    source += piece;
    target += piece;
    length -= piece;
  }
  return true;
}

bool CopyDeltaRun(DeltaBodyWriter& writer, const uint8_t* target, uint64_t length) {
  while (length > 0) {
    uint32_t room = 0;
    if (!BlockRoom(writer, room)) return false;
    const uint32_t piece = length < room ? static_cast<uint32_t>(length) : room;
    writer.fresh.insert(writer.fresh.end(), target, target + piece);
    writer.crc = static_cast<uint32_t>(crc32(writer.crc, target, piece));
    writer.openCopyLength += piece;
    writer.blockTargetLength += piece;
    target += piece;
    length -= piece;
  }
  return true;
}

bool FinishDeltaBody(DeltaBodyWriter& writer) {
  if (!FlushBlock(writer)) return false;
  const uint8_t trailer[4] = {
      static_cast<uint8_t>(writer.crc), static_cast<uint8_t>(writer.crc >> 8),
      static_cast<uint8_t>(writer.crc >> 16), static_cast<uint8_t>(writer.crc >> 24)};
  return Emit(writer, trailer, sizeof trailer);
}
