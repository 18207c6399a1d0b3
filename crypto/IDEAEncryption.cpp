#include "crypto/IDEAEncryption.h"

#include <cassert>

IDEAEncryptionKey ExpandIDEAEncryptionKey(const std::string& key) {
  IDEAEncryptionKey expanded;
  MakeIDEAEncryptionSchedule(reinterpret_cast<const uint8_t*>(key.data()),
                             static_cast<uint32_t>(key.size() < 16 ? key.size() : 16),
                             expanded.schedule);
  return expanded;
}

void EncryptIDEABlocks(const IDEAEncryptionKey& key, uint8_t* data, size_t length) {
  assert(length % 8 == 0);
  CryptIDEABlocks(FastestIDEAPath(), key.schedule, data, data, length / 8);
}
