#include "package/format/DirectoryStream.h"

#include <cassert>
#include <vector>

#include "crypto/RC2Decryptor.h"
#include "crypto/RC2Encryption.h"
#include "package/format/CipherBlocks.h"
#include "platform/ByteOrder.h"

// Directory chunk, repeated until the terminator:
//
//   offset  width           field
//   0       2               maskedPlainLength   u16 big-endian
//   2       2               maskedStoredLength  u16 little-endian
//   4       storedLength    ciphertext          RC2 variant, ECB, under the package key
//
//   plainLength  = maskedPlainLength  XOR chain   (chain: 0x5C3B, then the previous
//                                                  header's maskedPlainLength as stored)
//   storedLength = maskedStoredLength XOR maskedPlainLength
//
// plainLength 0 is the terminator; its stored length is never looked at. Otherwise both
// lengths are at most 8192, and the plaintext is the first plainLength decrypted bytes.

bool ReadDirectoryStream(FileHandle file, const std::string& key, ChunkSink consumer,
                         void* context) {
  // RC2's key expansion reads before the key when it has no bytes at all, so a package
  // with an empty key is refused rather than given an invented expansion.
  if (key.empty()) return false;

  // Plain area first, stored area second: the header is read into the stored area and
  // the ciphertext over it, so ciphertext may fill all 8 KiB.
  std::vector<uint8_t> buffer(2 * kDirectoryChunkLimit);
  uint8_t* plainArea = buffer.data();
  uint8_t* storedArea = buffer.data() + kDirectoryChunkLimit;

  RC2Decryptor decryptor;
  decryptor.SetKey(reinterpret_cast<const uint8_t*>(key.data()),
                   static_cast<uint32_t>(key.size()));

  uint16_t chain = kDirectoryChainSeed;
  for (;;) {
    if (!ReadFileExact(file, storedArea, kDirectoryChunkHeaderLength)) return false;
    const uint16_t maskedPlainLength = LoadBigEndian16(storedArea);
    const uint16_t maskedStoredLength = LoadLittleEndian16(storedArea + 2);
    const uint32_t plainLength = static_cast<uint16_t>(maskedPlainLength ^ chain);
    const uint32_t storedLength = static_cast<uint16_t>(maskedStoredLength ^ maskedPlainLength);

    if (plainLength == 0) return true;
    if (plainLength > kDirectoryChunkLimit) return false;
    if (storedLength > kDirectoryChunkLimit) return false;

    if (!ReadFileExact(file, storedArea, storedLength)) return false;
    uint32_t decryptedLength = 0;
    if (storedLength != 0) {
      decryptedLength = kDirectoryChunkLimit;
      if (!decryptor.Decrypt(plainArea, &decryptedLength, storedArea, storedLength)) {
        return false;
      }
    }
    if (decryptedLength < plainLength) return false;

    if (!consumer(plainArea, plainLength, context)) return false;
    chain = maskedPlainLength;
  }
}

void AppendDirectoryChunk(DirectoryStreamWriter& stream, const std::string& plaintext,
                          uint16_t plainLength, uint16_t storedLength) {
  const auto maskedPlainLength = static_cast<uint16_t>(plainLength ^ stream.chain);
  AppendBigEndian16(stream.bytes, maskedPlainLength);
  AppendLittleEndian16(stream.bytes, static_cast<uint16_t>(storedLength ^ maskedPlainLength));
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
  AppendBigEndian16(stream.bytes, stream.chain);
  AppendLittleEndian16(stream.bytes, stream.chain);
}

std::vector<std::string> GroupDirectoryRecords(const std::vector<std::string>& records) {
  std::vector<std::string> chunks;
  for (const std::string& record : records) {
    assert(record.size() <= kDirectoryChunkLimit && "a record must fit in one chunk");
    if (chunks.empty() || chunks.back().size() + record.size() > kDirectoryChunkLimit) {
      chunks.emplace_back();
    }
    chunks.back() += record;
  }
  return chunks;
}

std::string EncodeDirectoryStream(const std::string& key, const std::vector<std::string>& chunks) {
  DirectoryStreamWriter stream;
  stream.key = key;
  for (const std::string& chunk : chunks) AppendDirectoryChunk(stream, chunk);
  AppendDirectoryTerminator(stream);
  return stream.bytes;
}
