#pragma once
// Encryption for the directory's RC2 variant, for the package writer.

#include <cstddef>
#include <cstdint>
#include <string>

struct RC2ExpandedKey {
  uint16_t words[64];
};

// The variant's key expansion (the first min(length, 128) bytes; no effective-length step).
// The key must not be empty.
RC2ExpandedKey ExpandRC2VariantKey(const std::string& key);

// Encrypts `length` bytes (a multiple of 8) in place, each block's words big-endian.
void EncryptRC2VariantBlocks(const RC2ExpandedKey& key, uint8_t* data, size_t length);
