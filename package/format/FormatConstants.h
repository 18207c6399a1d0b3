#pragma once
// The package format's numbers, in one place. The byte layout that uses them is
// docs/package-format.md; each layer's reader and writer sit side by side in this folder.

#include <cstdint>

// Trailer and header (PackageFrame.h).
constexpr uint32_t kTrailerLength = 4;
constexpr uint32_t kTrailerMask = 0x5C3B;  // masks the header offset's low 16 bits
constexpr uint32_t kHeaderReadLimit = 80;  // the reader takes at most this much header
constexpr uint32_t kHeaderFixedLength = 6;  // keyLength and directoryOffset
constexpr uint32_t kMaxKeyLength = kHeaderReadLimit - kHeaderFixedLength;

// Directory chunk stream (DirectoryStream.h).
constexpr uint32_t kDirectoryChunkHeaderLength = 4;
constexpr uint16_t kDirectoryChainSeed = 0x5C3B;
constexpr uint32_t kDirectoryChunkLimit = 8192;  // plain and stored lengths alike

// Directory records (DirectoryRecord.h).
constexpr uint32_t kRemovalOffset = 0x80000000u;  // bit 31 of an offset marks a removal

// Entry chunk stream (EntryStream.h).
constexpr uint32_t kEntryChunkHeaderLength = 8;
constexpr uint32_t kEntryPlainLimit = 1048576;  // 1 MiB
// Header and ciphertext share one MiB of the reader's buffer.
constexpr uint32_t kEntryStoredLimit = kEntryPlainLimit - kEntryChunkHeaderLength;

// Both ciphers work on 8-byte blocks; a tail shorter than a block is not encrypted.
constexpr uint32_t kCipherBlockLength = 8;
