#include "packer/PackageWriter.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "crypto/EntryStream.h"
#include "package/PackageContainer.h"
#include "packer/IDEAEncryptor.h"
#include "packer/RC2Encryptor.h"

// The byte layouts are documented beside their readers: package/PackageContainer.cpp
// (trailer, header, record), crypto/DirectoryStream.cpp and crypto/EntryStream.cpp.

namespace {

constexpr uint32_t kRemovalOffset = 0x80000000u;

void PutLittleEndian16(std::string& out, uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>(value >> 8 & 0xFF));
}

void PutBigEndian16(std::string& out, uint32_t value) {
  out.push_back(static_cast<char>(value >> 8 & 0xFF));
  out.push_back(static_cast<char>(value & 0xFF));
}

void PutLittleEndian32(std::string& out, uint32_t value) {
  PutLittleEndian16(out, value & 0xFFFF);
  PutLittleEndian16(out, value >> 16);
}

void PutBigEndian32(std::string& out, uint32_t value) {
  PutBigEndian16(out, value >> 16);
  PutBigEndian16(out, value & 0xFFFF);
}

uint32_t RoundUpToBlock(uint32_t length) { return (length + 7) & ~7u; }

// Positions and lengths in a package are 32-bit; a larger file cannot be described.
uint32_t ToPosition(size_t position) {
  if (position > 0xFFFFFFFFu) throw std::length_error("package beyond 4 GiB");
  return static_cast<uint32_t>(position);
}

size_t RegionIndex(PackageRegion region) { return static_cast<size_t>(region); }

[[maybe_unused]] bool IsRegionOrder(const std::array<PackageRegion, 3>& order) {
  const std::array<PackageRegion, 3> regions = {
      PackageRegion::kEntryData, PackageRegion::kDirectory, PackageRegion::kHeader};
  return std::is_permutation(order.begin(), order.end(), regions.begin());
}

// `plaintext` cut or zero-padded to `storedLength`, whole blocks of it encrypted.
template <typename Encrypt>
std::string MakeCiphertext(const std::string& plaintext, uint32_t storedLength,
                           Encrypt encrypt) {
  std::string bytes = plaintext.substr(0, storedLength);
  bytes.resize(storedLength, '\0');
  encrypt(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size() & ~size_t{7});
  return bytes;
}

// The plaintext of each directory chunk: whole records, either by the given counts or
// as many as fit under the chunk limit.
std::vector<std::string> GroupRecords(const std::vector<std::string>& records,
                                      const std::vector<uint32_t>& recordCounts) {
  std::vector<std::string> chunks;
  if (!recordCounts.empty()) {
    size_t next = 0;
    for (uint32_t count : recordCounts) {
      assert(count > 0 && "a chunk without records would read as the terminator");
      assert(count <= records.size() - next);
      std::string chunk;
      for (uint32_t i = 0; i < count; ++i) chunk += records[next++];
      chunks.push_back(std::move(chunk));
    }
    assert(next == records.size() && "every record belongs to a chunk");
    return chunks;
  }
  for (const std::string& record : records) {
    assert(record.size() <= kDirectoryChunkLimit && "a record must fit in one chunk");
    if (chunks.empty() || chunks.back().size() + record.size() > kDirectoryChunkLimit) {
      chunks.emplace_back();
    }
    chunks.back() += record;
  }
  return chunks;
}

std::string EncodeDirectory(const PackageLayout& layout,
                            const std::vector<PackageEntry>& entries) {
  std::vector<std::string> records;
  for (size_t i = 0; i < layout.records.size(); ++i) {
    records.push_back(EncodeDirectoryRecord(layout.records[i].name, entries[i]));
  }
  DirectoryStreamWriter stream;
  stream.key = layout.key;
  for (const std::string& chunk : GroupRecords(records, layout.directoryChunkRecordCounts)) {
    AppendDirectoryChunk(stream, chunk);
  }
  AppendDirectoryTerminator(stream);
  return stream.bytes;
}

}  // namespace

PackageRecord MakeContentRecord(const std::string& name, const std::string& content) {
  PackageRecord record;
  record.name = name;
  record.content = content;
  return record;
}

PackageRecord MakeRemovalMarker(const std::string& name) {
  return MakeFixedRecord(name, kRemovalOffset, 0);
}

PackageRecord MakeFixedRecord(const std::string& name, uint32_t offset, uint32_t size) {
  PackageRecord record;
  record.name = name;
  record.fixedPosition = true;
  record.offset = offset;
  record.size = size;
  return record;
}

std::string BuildPackage(const PackageLayout& layout) {
  const auto& order = layout.regionOrder;
  assert(IsRegionOrder(order) && "each region exactly once");

  // Entry data first, at positions relative to its region; the directory's length does
  // not depend on the values of its fields, so one sizing pass places every region.
  std::string entryData;
  std::vector<PackageEntry> entries;
  for (const PackageRecord& record : layout.records) {
    PackageEntry entry;
    entry.aux1 = record.aux1;
    entry.aux2 = record.aux2;
    entry.aux3 = record.aux3;
    if (record.fixedPosition) {
      entry.offset = record.offset;
      entry.size = record.size;
    } else {
      entry.offset = ToPosition(entryData.size());
      entry.size = ToPosition(record.content.size());
      entryData += EncodeEntryStream(layout.key, record.content, record.chunkPlainLengths);
    }
    entries.push_back(entry);
  }

  // Region lengths and starts, indexed by PackageRegion.
  const std::array<size_t, 3> lengths = {entryData.size(),
                                         EncodeDirectory(layout, entries).size(),
                                         EncodePackageHeader(layout.key, 0).size()};
  std::array<size_t, 3> starts = {};
  size_t position = layout.host.size();
  for (PackageRegion region : order) {
    starts[RegionIndex(region)] = position;
    position += lengths[RegionIndex(region)];
  }
  ToPosition(position + 4);  // the file's size must be 32-bit as well

  const size_t entryDataStart = starts[RegionIndex(PackageRegion::kEntryData)];
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!layout.records[i].fixedPosition) {
      entries[i].offset = ToPosition(entryDataStart + entries[i].offset);
    }
  }
  const std::array<std::string, 3> regions = {
      entryData, EncodeDirectory(layout, entries),
      EncodePackageHeader(layout.key,
                          ToPosition(starts[RegionIndex(PackageRegion::kDirectory)]))};

  std::string file = layout.host;
  for (PackageRegion region : order) file += regions[RegionIndex(region)];
  file += EncodePackageTrailer(ToPosition(starts[RegionIndex(PackageRegion::kHeader)]));
  return file;
}

bool WritePackageFile(const std::string& path, const std::string& fileBytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(fileBytes.data(), static_cast<std::streamsize>(fileBytes.size()));
  out.close();
  return !out.fail();
}

std::string BuildPackageAroundDirectory(const std::string& host, const std::string& key,
                                        const std::string& directory) {
  const uint32_t directoryStart = ToPosition(host.size());
  const uint32_t headerStart = ToPosition(host.size() + directory.size());
  return host + directory + EncodePackageHeader(key, directoryStart) +
         EncodePackageTrailer(headerStart);
}

std::string EncodePackageTrailer(uint32_t headerOffset) {
  std::string bytes;
  PutLittleEndian32(bytes, headerOffset ^ kTrailerMask);
  return bytes;
}

std::string EncodePackageHeader(const std::string& key, uint32_t directoryOffset) {
  assert(key.size() <= 0xFFFF && "the key length field is 16 bits");
  std::string bytes;
  PutLittleEndian16(bytes, static_cast<uint32_t>(key.size()));
  bytes += key;
  PutLittleEndian32(bytes, directoryOffset);
  return bytes;
}

std::string EncodeDirectoryRecord(const std::string& name, const PackageEntry& fields) {
  assert(name.size() <= 0xFFFF && "the name length field is 16 bits");
  std::string bytes;
  PutLittleEndian16(bytes, static_cast<uint32_t>(name.size()));
  bytes += name;
  bytes.push_back(static_cast<char>(fields.aux1));
  bytes.push_back(static_cast<char>(fields.aux2));
  PutLittleEndian32(bytes, fields.offset);
  PutLittleEndian32(bytes, fields.size);
  PutLittleEndian32(bytes, fields.aux3);
  return bytes;
}

void AppendDirectoryChunk(DirectoryStreamWriter& stream, const std::string& plaintext,
                          uint16_t plainLength, uint16_t storedLength) {
  const auto maskedPlainLength = static_cast<uint16_t>(plainLength ^ stream.chain);
  PutBigEndian16(stream.bytes, maskedPlainLength);
  PutLittleEndian16(stream.bytes, static_cast<uint16_t>(storedLength ^ maskedPlainLength));
  stream.chain = maskedPlainLength;

  if (stream.key.empty()) {
    stream.bytes += MakeCiphertext(plaintext, storedLength, [](uint8_t*, size_t) {});
    return;
  }
  const RC2ExpandedKey key = ExpandRC2VariantKey(stream.key);
  stream.bytes += MakeCiphertext(plaintext, storedLength, [&key](uint8_t* data, size_t length) {
    EncryptRC2VariantBlocks(key, data, length);
  });
}

void AppendDirectoryChunk(DirectoryStreamWriter& stream, const std::string& plaintext) {
  assert(plaintext.size() <= kDirectoryChunkLimit);
  const auto plainLength = static_cast<uint16_t>(plaintext.size());
  AppendDirectoryChunk(stream, plaintext, plainLength,
                       static_cast<uint16_t>(RoundUpToBlock(plainLength)));
}

void AppendDirectoryTerminator(DirectoryStreamWriter& stream) {
  PutBigEndian16(stream.bytes, stream.chain);
  PutLittleEndian16(stream.bytes, stream.chain);
}

std::string EncodeEntryChunkHeader(uint32_t plainLength, uint32_t storedLength) {
  std::string bytes;
  PutBigEndian32(bytes, plainLength);
  PutLittleEndian32(bytes, storedLength);
  return bytes;
}

std::string EncodeEntryChunk(const std::string& key, const std::string& plaintext,
                             uint32_t plainLength, uint32_t storedLength) {
  const IDEAEncryptionKey expanded = ExpandIDEAEncryptionKey(key);
  return EncodeEntryChunkHeader(plainLength, storedLength) +
         MakeCiphertext(plaintext, storedLength, [&expanded](uint8_t* data, size_t length) {
           EncryptIDEABlocks(expanded, data, length);
         });
}

std::string EncodeEntryChunk(const std::string& key, const std::string& plaintext) {
  const uint32_t plainLength = ToPosition(plaintext.size());
  return EncodeEntryChunk(key, plaintext, plainLength, RoundUpToBlock(plainLength));
}

size_t EncryptEntryChunkInPlace(const IDEAEncryptionKey& key, uint8_t* frame,
                                uint32_t plainLength) {
  assert(plainLength <= kEntryStoredLimit);
  const uint32_t storedLength = RoundUpToBlock(plainLength);
  const std::string header = EncodeEntryChunkHeader(plainLength, storedLength);
  std::memcpy(frame, header.data(), kEntryChunkHeaderLength);
  uint8_t* ciphertext = frame + kEntryChunkHeaderLength;
  std::memset(ciphertext + plainLength, 0, storedLength - plainLength);
  EncryptIDEABlocks(key, ciphertext, storedLength);
  return kEntryChunkHeaderLength + storedLength;
}

std::string EncodeEntryStream(const std::string& key, const std::string& content,
                              const std::vector<uint32_t>& chunkPlainLengths) {
  std::string bytes;
  size_t start = 0;
  if (chunkPlainLengths.empty()) {
    while (start < content.size()) {
      bytes += EncodeEntryChunk(key, content.substr(start, kEntryStoredLimit));
      start += kEntryStoredLimit;
    }
    return bytes;
  }
  for (uint32_t length : chunkPlainLengths) {
    assert(length <= content.size() - start && "chunk lengths must add up to the content");
    bytes += EncodeEntryChunk(key, content.substr(start, length));
    start += length;
  }
  assert(start == content.size() && "chunk lengths must add up to the content");
  return bytes;
}
