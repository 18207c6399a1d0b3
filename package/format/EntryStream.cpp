#include "package/format/EntryStream.h"

#include <cassert>
#include <cstring>
#include <memory>

#include "crypto/IDEADecryptor.h"
#include "package/format/CipherBlocks.h"
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

bool ReadEntryStream(ChunkSink sink, void* context, FileHandle file, uint32_t size,
                     const std::string& key) {
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
