#pragma once
// IDEA encryption for the package writer. The installer only decrypts.

#include <cstddef>
#include <cstdint>
#include <string>

struct IDEAEncryptionKey {
  uint16_t subkeys[52];
};

// Takes the key as the installer does: the first min(length, 16) bytes over 16 zero bytes.
IDEAEncryptionKey ExpandIDEAEncryptionKey(const std::string& key);

// Encrypts `length` bytes (a multiple of 8) in place, each 8-byte block on its own.
void EncryptIDEABlocks(const IDEAEncryptionKey& key, uint8_t* data, size_t length);
