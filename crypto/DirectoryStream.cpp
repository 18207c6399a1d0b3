#include "crypto/DirectoryStream.h"

#include <vector>

#include "crypto/RC2Decryptor.h"
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

namespace {

constexpr uint32_t kHeaderLength = 4;

}  // namespace

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
    if (!ReadFileExact(file, storedArea, kHeaderLength)) return false;
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
