#include "crypto/EntryStream.h"

#include <memory>

#include "crypto/IDEADecryptor.h"
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

constexpr uint32_t kHeaderLength = 8;

}  // namespace

bool ReadEntryStream(ChunkSink sink, void* context, FileHandle file, uint32_t size,
                     const std::string& key) {
  // One area: the header, then the ciphertext right behind it, decrypted where it lies.
  // Header and ciphertext sharing one MiB is what caps storedLength at 1 MiB - 8. The
  // area is not zero-filled: a sink sees only bytes that were read and decrypted, and a
  // small entry should not pay for clearing a megabyte.
  const std::unique_ptr<uint8_t[]> buffer(new uint8_t[kEntryPlainLimit]);
  uint8_t* storedArea = buffer.get();
  uint8_t* ciphertext = storedArea + kHeaderLength;

  IDEADecryptor decryptor;
  decryptor.SetKey(reinterpret_cast<const uint8_t*>(key.data()),
                   static_cast<uint32_t>(key.size()));

  if (size == 0) return true;

  uint32_t deliveredLength = 0;
  for (;;) {
    if (!ReadFileExact(file, storedArea, kHeaderLength)) return false;
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
