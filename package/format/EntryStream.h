#pragma once
// The entry chunk stream: IDEA-encrypted chunks behind 8-byte headers (plain length
// big-endian, stored length little-endian), until the plain lengths reach the entry's size.
// The reader and the writer; the layout is in EntryStream.cpp.

#include <cstddef>
#include <cstdint>
#include <string>

#include "crypto/IDEAEncryption.h"
#include "package/format/ChunkSink.h"
#include "package/format/FormatConstants.h"
#include "platform/File.h"

// Reads the stream that starts at the file's current position, for an entry of `size`
// bytes. True when the delivered plain lengths add up to at least the size; a size of 0
// reads nothing. Throws std::bad_alloc when memory runs out (here or in the sink).
bool ReadEntryStream(ChunkSink sink, void* context, FileHandle file, uint32_t size,
                     const std::string& key);
// The same read, also taking the CRC-32C of the stream's bytes as stored (headers and
// ciphertext), which the integrity data records in aux3 (IntegrityBlock.h).
bool ReadEntryStream(ChunkSink sink, void* context, FileHandle file, uint32_t size,
                     const std::string& key, uint32_t& storedChecksum);

// The CRC-32C of the stream as stored, walked as ReadEntryStream walks it, without
// decrypting, and the number of bytes walked. False on a short read or a length over its
// limit.
bool ChecksumEntryStream(FileHandle file, uint32_t size, uint32_t& storedChecksum,
                         uint64_t& walkedLength);

// Lengths are written as given, so they may contradict the data or break the limits; the
// ciphertext is the plaintext cut or zero-padded to the stored length.
std::string EncodeEntryChunkHeader(uint32_t plainLength, uint32_t storedLength);
std::string EncodeEntryChunk(const std::string& key, const std::string& plaintext,
                             uint32_t plainLength, uint32_t storedLength);
// The packer's lengths: the plaintext's length, and that rounded up to whole blocks.
std::string EncodeEntryChunk(const std::string& key, const std::string& plaintext);

// The packer's chunk built where it lies, for writers that stream: `frame` holds at most
// kEntryStoredLimit bytes of plaintext after room for the header, and room for the zero
// padding to whole blocks. Writes the header and the padding, encrypts, and returns the
// chunk's length. The bytes are those of EncodeEntryChunk(key, plaintext).
size_t EncryptEntryChunkInPlace(const IDEAEncryptionKey& key, uint8_t* frame,
                                uint32_t plainLength);

// The length of the packer's stream for `size` bytes of content, cut into chunks of
// kEntryStoredLimit: each chunk's header and its ciphertext rounded up to whole blocks.
uint64_t PackedEntryStreamLength(uint64_t size);
