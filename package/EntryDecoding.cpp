#include "package/EntryDecoding.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "package/format/Crc32c.h"

namespace {

constexpr uint32_t kBlockLength = 1u << 20;

// Keeps the first chunk, then stops the read: a header is all that is wanted.
struct FirstChunk {
  std::string bytes;
  bool seen = false;
};

bool KeepFirstChunk(const uint8_t* data, uint32_t length, void* context) {
  auto& first = *static_cast<FirstChunk*>(context);
  first.bytes.assign(reinterpret_cast<const char*>(data), length);
  first.seen = true;
  return false;
}

// Counts and checksums what passes on to the caller's sink, refusing anything past the
// length the header promises.
struct CheckedSink {
  ChunkSink sink;
  void* context;
  uint64_t limit;
  uint64_t length = 0;
  uint32_t checksum = 0;
};

bool PassChecked(const uint8_t* data, uint32_t length, void* context) {
  auto& checked = *static_cast<CheckedSink*>(context);
  if (length > checked.limit - checked.length) return false;
  checked.length += length;
  checked.checksum = ExtendCrc32c(checked.checksum, data, length);
  return checked.sink(data, length, checked.context);
}

bool Inflate(std::vector<std::string>& stored, size_t skip, CheckedSink& out) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  std::vector<uint8_t> buffer(kBlockLength);
  int status = Z_OK;
  bool ok = true;
  for (std::string& chunk : stored) {
    if (!ok || status == Z_STREAM_END) break;
    const size_t from = std::min(skip, chunk.size());
    skip -= from;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.data() + from));
    stream.avail_in = static_cast<uInt>(chunk.size() - from);
    while (ok && stream.avail_in > 0 && status != Z_STREAM_END) {
      stream.next_out = buffer.data();
      stream.avail_out = static_cast<uInt>(buffer.size());
      status = inflate(&stream, Z_NO_FLUSH);
      const auto produced = static_cast<uint32_t>(buffer.size() - stream.avail_out);
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) ok = false;
      if (ok && produced > 0) ok = PassChecked(buffer.data(), produced, &out);
      if (status == Z_BUF_ERROR && produced == 0) break;  // needs the next chunk
    }
    // Bytes after the stream's end are not a packer's.
    if (status == Z_STREAM_END && stream.avail_in > 0) ok = false;
    std::string().swap(chunk);
  }
  // Output still held back once the input is all in.
  while (ok && status != Z_STREAM_END) {
    stream.next_out = buffer.data();
    stream.avail_out = static_cast<uInt>(buffer.size());
    status = inflate(&stream, Z_FINISH);
    const auto produced = static_cast<uint32_t>(buffer.size() - stream.avail_out);
    if (produced > 0) ok = PassChecked(buffer.data(), produced, &out);
    if (status != Z_STREAM_END && produced == 0) ok = false;
  }
  inflateEnd(&stream);
  return ok && status == Z_STREAM_END;
}

bool ApplyStoredDelta(std::vector<std::string>& stored, const DeltaSource& source,
                      CheckedSink& out) {
  std::string body;
  size_t total = 0;
  for (const std::string& chunk : stored) total += chunk.size();
  body.reserve(total - std::min(total, kDeltaHeaderLength));
  size_t skip = kDeltaHeaderLength;
  for (std::string& chunk : stored) {
    const size_t from = std::min(skip, chunk.size());
    skip -= from;
    body.append(chunk, from, std::string::npos);
    std::string().swap(chunk);
  }
  stored.clear();
  return ApplyDelta(reinterpret_cast<const uint8_t*>(body.data()), body.size(), source,
                    out.limit, PassChecked, &out);
}

}  // namespace

bool ReadEntryEncoding(const std::vector<PackageVolume>& volumes, const PackageEntry& entry,
                       EntryEncoding& encoding) {
  encoding = {};
  if (entry.volume >= volumes.size() ||
      !ReadEntryKind(volumes[entry.volume].integrity, entry, encoding.kind)) {
    return false;
  }
  if (encoding.kind == EntryKind::kWhole) {
    encoding.installedSize = entry.size;
    return true;
  }
  FirstChunk first;
  StreamEntry(volumes, entry, KeepFirstChunk, &first);
  return first.seen &&
         ParseEntryHeader(reinterpret_cast<const uint8_t*>(first.bytes.data()),
                          first.bytes.size(), encoding);
}

bool IsDeltaSource(const DeltaSource& source, const EntryEncoding& encoding) {
  if (source.length != encoding.sourceSize) return false;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(source.length, kBlockLength)));
  uint32_t checksum = 0;
  for (uint64_t at = 0; at < source.length;) {
    const auto part = static_cast<uint32_t>(std::min<uint64_t>(source.length - at, kBlockLength));
    if (!source.read(at, buffer.data(), part, source.context)) return false;
    checksum = ExtendCrc32c(checksum, buffer.data(), part);
    at += part;
  }
  return checksum == encoding.sourceChecksum;
}

EntryDecodeResult DecodeEntryContent(const EntryEncoding& encoding,
                                     std::vector<std::string>& stored,
                                     const DeltaSource* source, ChunkSink sink, void* context) {
  CheckedSink out{sink, context, encoding.installedSize};
  bool decoded = false;
  switch (encoding.kind) {
    case EntryKind::kWhole:
      for (std::string& chunk : stored) {
        if (!PassChecked(reinterpret_cast<const uint8_t*>(chunk.data()),
                         static_cast<uint32_t>(chunk.size()), &out)) {
          return EntryDecodeResult::kDamaged;
        }
        std::string().swap(chunk);
      }
      stored.clear();
      return out.length == encoding.installedSize ? EntryDecodeResult::kDecoded
                                                  : EntryDecodeResult::kDamaged;
    case EntryKind::kCompressed:
      decoded = Inflate(stored, kCompressedHeaderLength, out);
      break;
    case EntryKind::kDelta:
      if (source == nullptr || source->length != encoding.sourceSize) {
        return EntryDecodeResult::kSourceMismatch;
      }
      decoded = ApplyStoredDelta(stored, *source, out);
      break;
  }
  stored.clear();
  return decoded && out.length == encoding.installedSize &&
                 out.checksum == encoding.installedChecksum
             ? EntryDecodeResult::kDecoded
             : EntryDecodeResult::kDamaged;
}
