#pragma once
// IDEA encryption for the package writer. Encryption is the decryption network with the
// encryption subkeys, so it runs on the installer's block paths (crypto/IDEABlocks.h),
// the fastest this processor has.

#include <cstddef>
#include <cstdint>
#include <string>

#include "crypto/IDEABlocks.h"

struct IDEAEncryptionKey {
  IDEASchedule schedule;
};

// Takes the key as the installer does: the first min(length, 16) bytes over 16 zero bytes.
IDEAEncryptionKey ExpandIDEAEncryptionKey(const std::string& key);

// Encrypts `length` bytes (a multiple of 8) in place, each 8-byte block on its own.
void EncryptIDEABlocks(const IDEAEncryptionKey& key, uint8_t* data, size_t length);
