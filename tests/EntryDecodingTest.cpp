// Compressed and delta entries decoded as the installer decodes them: a result is reported
// decoded only when it is exactly the file packed, a delta only onto its very game file, and
// a kind only where the package declares kinds.

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "delta/DeltaEncoder.h"
#include "package/EntryDecoding.h"
#include "package/format/Crc32c.h"

namespace {

std::string Text(size_t lines) {
  std::string text;
  for (size_t i = 0; i < lines; ++i) text += "line " + std::to_string(i * 7 % 1000) + " of the script\n";
  return text;
}

EntryEncoding Installed(EntryKind kind, const std::string& file) {
  EntryEncoding encoding;
  encoding.kind = kind;
  encoding.installedSize = static_cast<uint32_t>(file.size());
  encoding.installedChecksum = Crc32c(file.data(), file.size());
  return encoding;
}

// The stored content cut into chunks of `chunk` bytes, as the reader hands them over.
std::vector<std::string> Chunks(const std::string& content, size_t chunk) {
  std::vector<std::string> chunks;
  for (size_t at = 0; at < content.size(); at += chunk) chunks.push_back(content.substr(at, chunk));
  return chunks;
}

std::string Compressed(const EntryEncoding& encoding, const std::string& file) {
  uLongf length = compressBound(static_cast<uLong>(file.size()));
  std::string stream(length, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(&stream[0]), &length,
                      reinterpret_cast<const Bytef*>(file.data()), static_cast<uLong>(file.size()), 9),
            Z_OK);
  stream.resize(length);
  return EncodeEntryHeader(encoding) + stream;
}

bool AppendPiece(const uint8_t* data, uint32_t length, void* context) {
  static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), length);
  return true;
}

struct Decoded {
  EntryDecodeResult result;
  std::string bytes;
};

Decoded Decode(const EntryEncoding& encoding, const std::string& content, size_t chunk,
               const DeltaSource* source = nullptr) {
  std::vector<std::string> stored = Chunks(content, chunk);
  Decoded decoded{EntryDecodeResult::kDamaged, {}};
  decoded.result = DecodeEntryContent(encoding, stored, source, AppendPiece, &decoded.bytes);
  return decoded;
}

bool ReadString(uint64_t offset, uint8_t* buffer, uint32_t length, void* context) {
  const auto& file = *static_cast<const std::string*>(context);
  if (offset > file.size() || length > file.size() - offset) return false;
  std::memcpy(buffer, file.data() + offset, length);
  return true;
}

DeltaSource SourceOf(const std::string& file) {
  return {file.size(), ReadString, const_cast<std::string*>(&file)};
}

bool AppendBody(const uint8_t* data, size_t length, void* context) {
  static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), length);
  return true;
}

TEST(EntryDecoding, KindsCountOnlyWherePackageDeclaresThem) {
  PackageEntry entry;
  entry.aux2 = 1;
  PackageIntegrity integrity;
  EntryKind kind = EntryKind::kDelta;
  // Another packer's aux2, or ours without the feature bit: whole, as ever.
  EXPECT_TRUE(ReadEntryKind(integrity, entry, kind));
  EXPECT_EQ(kind, EntryKind::kWhole);
  integrity = {true, true, true, 0};
  EXPECT_TRUE(ReadEntryKind(integrity, entry, kind));
  EXPECT_EQ(kind, EntryKind::kWhole);
  integrity.features = kFeatureEntryKinds;
  EXPECT_TRUE(ReadEntryKind(integrity, entry, kind));
  EXPECT_EQ(kind, EntryKind::kCompressed);
  // A frame that fails its check vouches for nothing it says.
  integrity.frameIntact = false;
  EXPECT_TRUE(ReadEntryKind(integrity, entry, kind));
  EXPECT_EQ(kind, EntryKind::kWhole);
  integrity.frameIntact = true;
  entry.aux2 = 3;
  EXPECT_FALSE(ReadEntryKind(integrity, entry, kind)) << "a kind this reader does not know";
}

TEST(EntryDecoding, CompressedEntryDecodesExactlyOrIsDamaged) {
  const std::string file = Text(40000);
  const EntryEncoding encoding = Installed(EntryKind::kCompressed, file);
  const std::string content = Compressed(encoding, file);
  ASSERT_LT(content.size(), file.size() / 4);
  // Chunk cuts inside the header and anywhere in the stream.
  for (size_t chunk : {size_t{3}, size_t{4096}, content.size()}) {
    const Decoded decoded = Decode(encoding, content, chunk);
    EXPECT_EQ(decoded.result, EntryDecodeResult::kDecoded) << chunk;
    EXPECT_TRUE(decoded.bytes == file) << chunk;
  }
  std::string flipped = content;
  flipped[content.size() / 2] = static_cast<char>(flipped[content.size() / 2] ^ 0x10);
  EXPECT_EQ(Decode(encoding, flipped, 4096).result, EntryDecodeResult::kDamaged);
  EXPECT_EQ(Decode(encoding, content.substr(0, content.size() - 1), 4096).result,
            EntryDecodeResult::kDamaged) << "cut short";
  EXPECT_EQ(Decode(encoding, content + "x", 4096).result, EntryDecodeResult::kDamaged)
      << "bytes after the stream";
  EntryEncoding wrong = encoding;
  wrong.installedChecksum ^= 1;
  EXPECT_EQ(Decode(wrong, content, 4096).result, EntryDecodeResult::kDamaged);
  wrong = encoding;
  wrong.installedSize -= 1;
  EXPECT_EQ(Decode(wrong, content, 4096).result, EntryDecodeResult::kDamaged)
      << "longer than its header says";
}

TEST(EntryDecoding, DeltaAppliesOnlyToTheFileItWasMadeAgainst) {
  const std::string oldFile = Text(30000);
  std::string newFile = oldFile;
  newFile.insert(1000, "an inserted line\n");
  newFile[200000] = '#';
  std::string body;
  DeltaEncoderResult made;
  ASSERT_TRUE(EncodeDelta(reinterpret_cast<const uint8_t*>(oldFile.data()), oldFile.size(),
                          reinterpret_cast<const uint8_t*>(newFile.data()), newFile.size(), {},
                          AppendBody, &body, made));
  EntryEncoding encoding = Installed(EntryKind::kDelta, newFile);
  encoding.sourceSize = static_cast<uint32_t>(oldFile.size());
  encoding.sourceChecksum = Crc32c(oldFile.data(), oldFile.size());
  const std::string content = EncodeEntryHeader(encoding) + body;

  const DeltaSource source = SourceOf(oldFile);
  EXPECT_TRUE(IsDeltaSource(source, encoding));
  const Decoded decoded = Decode(encoding, content, 7, &source);
  EXPECT_EQ(decoded.result, EntryDecodeResult::kDecoded);
  EXPECT_TRUE(decoded.bytes == newFile);

  std::string oneByteOff = oldFile;
  oneByteOff[123] = static_cast<char>(oneByteOff[123] ^ 0x01);
  const DeltaSource off = SourceOf(oneByteOff);
  EXPECT_FALSE(IsDeltaSource(off, encoding));
  EXPECT_NE(Decode(encoding, content, 4096, &off).result, EntryDecodeResult::kDecoded);
  const std::string shorter = oldFile.substr(1);
  const DeltaSource cut = SourceOf(shorter);
  EXPECT_FALSE(IsDeltaSource(cut, encoding));
  EXPECT_EQ(Decode(encoding, content, 4096, &cut).result, EntryDecodeResult::kSourceMismatch);
  EXPECT_EQ(Decode(encoding, content, 4096, nullptr).result, EntryDecodeResult::kSourceMismatch);
}

}  // namespace
