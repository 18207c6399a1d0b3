#include "package/format/EntryStream.h"

#include <cassert>
#include <cstring>
#include <memory>

#include "crypto/IDEADecryptor.h"
#include "package/format/CipherBlocks.h"
#include "package/format/Crc32c.h"
#include "platform/ByteOrder.h"

// Entry chunk, repeated until the plain lengths reach the entry's size (no terminator):
//
//   offset  width           field
//   0       4               plainLength    u32 big-endian, at most 1,048,576
//   4       4               storedLength   u32 little-endian, at most 1,048,568
//   8       storedLength    ciphertext     IDEA, ECB, under the package key
//
// The lengths are not masked. The plaintext is the first plainLength decrypted bytes, so
// a usable chunk carries at most 1,048,568 of them.

namespace {

// The reader, with the checksum taken where `storedChecksum` is given.
bool ReadStream(ChunkSink sink, void* context, FileHandle file, uint32_t size,
                const std::string& key, uint32_t* storedChecksum) {
  // One area: the header, then the ciphertext right behind it, decrypted where it lies.
  // Header and ciphertext sharing one MiB is what caps storedLength at 1 MiB - 8. The
  // area is not zero-filled: a sink sees only bytes that were read and decrypted, and a
  // small entry should not pay for clearing a megabyte.
  const std::unique_ptr<uint8_t[]> buffer(new uint8_t[kEntryPlainLimit]);
  uint8_t* storedArea = buffer.get();
  uint8_t* ciphertext = storedArea + kEntryChunkHeaderLength;

  IDEADecryptor decryptor;
  decryptor.SetKey(reinterpret_cast<const uint8_t*>(key.data()),
                   static_cast<uint32_t>(key.size()));

  if (size == 0) return true;

  uint32_t deliveredLength = 0;
  for (;;) {
    if (!ReadFileExact(file, storedArea, kEntryChunkHeaderLength)) return false;
    const uint32_t plainLength = LoadBigEndian32(storedArea);
    const uint32_t storedLength = LoadLittleEndian32(storedArea + 4);
    if (plainLength > kEntryPlainLimit) return false;
    if (storedLength > kEntryStoredLimit) return false;

    if (!ReadFileExact(file, ciphertext, storedLength)) return false;
    if (storedChecksum) {
      *storedChecksum =
          ExtendCrc32c(*storedChecksum, storedArea, kEntryChunkHeaderLength + storedLength);
    }
    uint32_t decryptedLength = 0;
    if (storedLength != 0) {
      decryptedLength = kEntryStoredLimit;
      if (!decryptor.Decrypt(ciphertext, &decryptedLength, ciphertext, storedLength)) {
        return false;
      }
    }
    if (decryptedLength < plainLength) return false;

    if (!sink(ciphertext, plainLength, context)) return false;

    // Invariant: deliveredLength < size, so the remaining length is positive. Comparing
    // against it instead of adding first keeps a total near 2^32 from wrapping round to
    // a small value and looking "below size" again.
    if (plainLength >= size - deliveredLength) return true;
    deliveredLength += plainLength;
  }
}

}  // namespace

bool ReadEntryStream(ChunkSink sink, void* context, FileHandle file, uint32_t size,
                     const std::string& key) {
  return ReadStream(sink, context, file, size, key, nullptr);
}

bool ReadEntryStream(ChunkSink sink, void* context, FileHandle file, uint32_t size,
                     const std::string& key, uint32_t& storedChecksum) {
  uint32_t checksum = 0;
  if (!ReadStream(sink, context, file, size, key, &checksum)) return false;
  storedChecksum = checksum;
  return true;
}

bool ChecksumEntryStream(FileHandle file, uint32_t size, uint32_t& storedChecksum,
                         uint64_t& walkedLength) {
  // Read in pieces: a chunk's ciphertext need not be held whole to be checksummed.
  constexpr uint32_t kPieceLength = 64 * 1024;
  const std::unique_ptr<uint8_t[]> buffer(new uint8_t[kPieceLength]);
  uint32_t checksum = 0;
  uint64_t walked = 0;
  for (uint32_t deliveredLength = 0; deliveredLength < size;) {
    uint8_t header[kEntryChunkHeaderLength];
    if (!ReadFileExact(file, header, kEntryChunkHeaderLength)) return false;
    const uint32_t plainLength = LoadBigEndian32(header);
    const uint32_t storedLength = LoadLittleEndian32(header + 4);
    if (plainLength > kEntryPlainLimit || storedLength > kEntryStoredLimit) return false;
    checksum = ExtendCrc32c(checksum, header, kEntryChunkHeaderLength);
    for (uint32_t left = storedLength; left > 0;) {
      const uint32_t part = left < kPieceLength ? left : kPieceLength;
      if (!ReadFileExact(file, buffer.get(), part)) return false;
      checksum = ExtendCrc32c(checksum, buffer.get(), part);
      left -= part;
    }
    walked += kEntryChunkHeaderLength + storedLength;
    // As in the reader: compared against what is left, so a total near 2^32 cannot wrap.
    if (plainLength >= size - deliveredLength) break;
    deliveredLength += plainLength;
  }
  storedChecksum = checksum;
  walkedLength = walked;
  return true;
}

std::string EncodeEntryChunkHeader(uint32_t plainLength, uint32_t storedLength) {
  std::string bytes;
  AppendBigEndian32(bytes, plainLength);
  AppendLittleEndian32(bytes, storedLength);
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
  const auto plainLength = static_cast<uint32_t>(plaintext.size());
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

uint64_t PackedEntryStreamLength(uint64_t size) {
  const uint64_t fullChunks = size / kEntryStoredLimit;
  const auto rest = static_cast<uint32_t>(size % kEntryStoredLimit);
  const uint64_t restLength = rest == 0 ? 0 : kEntryChunkHeaderLength + RoundUpToBlock(rest);
  return fullChunks * (kEntryChunkHeaderLength + kEntryStoredLimit) + restLength;
}
