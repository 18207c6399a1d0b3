#pragma once
// Appends a package to a host file's bytes: entry data, directory and header in a chosen
// order, then the trailer. The defaults are what the publisher's packer writes. The
// options and the frame encoders below reach every field, including values the installer
// must refuse, so that tests can build well-formed and damaged packages alike.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "crypto/DirectoryStream.h"
#include "package/PackageEntry.h"
#include "packer/IDEAEncryptor.h"

// One directory record. By default `content` is stored as an entry chunk stream and the
// record points at it; a record made by MakeFixedRecord stores nothing and carries its
// offset and size as given.
struct PackageRecord {
  std::string name;
  uint8_t aux1 = 0;
  uint8_t aux2 = 0;
  uint32_t aux3 = 0;

  std::string content;
  // Plain lengths of the content's chunks, adding up to its length; zeros are allowed.
  // Empty: chunks of 1,048,568 bytes, the most an entry chunk can carry.
  std::vector<uint32_t> chunkPlainLengths;

  bool fixedPosition = false;
  uint32_t offset = 0;  // used only with fixedPosition
  uint32_t size = 0;    // used only with fixedPosition
};

PackageRecord MakeContentRecord(const std::string& name, const std::string& content);
// A record that removes the name from the index: offset 0x80000000, size 0.
PackageRecord MakeRemovalMarker(const std::string& name);
PackageRecord MakeFixedRecord(const std::string& name, uint32_t offset, uint32_t size);

enum class PackageRegion { kEntryData, kDirectory, kHeader };

struct PackageLayout {
  std::string host;  // the file the package is appended to; positions count from its start
  std::string key;   // any length the u16 field holds; keys over 74 bytes make bad packages
  std::vector<PackageRecord> records;  // in directory order; names may repeat
  // Records per directory chunk, each at least 1, adding up to the number of records.
  // Empty: as many whole records per chunk as fit in 8192 bytes.
  std::vector<uint32_t> directoryChunkRecordCounts;
  // The trailer always comes last. With the header last it ends right before the trailer.
  std::array<PackageRegion, 3> regionOrder = {PackageRegion::kEntryData,
                                              PackageRegion::kDirectory,
                                              PackageRegion::kHeader};
};

// The whole file: the host's bytes followed by the package.
std::string BuildPackage(const PackageLayout& layout);

// Writes `fileBytes` (from BuildPackage) to `path`, replacing any file there.
bool WritePackageFile(const std::string& path, const std::string& fileBytes);

// Frame encoders. Lengths are written as given, so they may contradict the data or break
// the format's limits. Ciphertext is the plaintext cut or zero-padded to the stored length
// and encrypted block by block; a tail shorter than a block is left as it is.

// The host, then `directory` as given (a stream from DirectoryStreamWriter, perhaps
// damaged), then a header naming it and the trailer.
std::string BuildPackageAroundDirectory(const std::string& host, const std::string& key,
                                        const std::string& directory);

std::string EncodePackageTrailer(uint32_t headerOffset);
std::string EncodePackageHeader(const std::string& key, uint32_t directoryOffset);
// The record's offset, aux and size fields come from `fields`; its volume is not stored.
std::string EncodeDirectoryRecord(const std::string& name, const PackageEntry& fields);

// A directory chunk stream under construction. `chain` is the value the next header is
// masked with: the seed, then each header's masked plain length.
struct DirectoryStreamWriter {
  std::string key;
  uint16_t chain = kDirectoryChainSeed;
  std::string bytes;
};

// With an empty key the ciphertext stays plaintext: the RC2 variant has no expansion for
// it, and the installer refuses such a directory before reading it.
void AppendDirectoryChunk(DirectoryStreamWriter& stream, const std::string& plaintext,
                          uint16_t plainLength, uint16_t storedLength);
// The packer's lengths: the plaintext's length, and that rounded up to whole blocks.
void AppendDirectoryChunk(DirectoryStreamWriter& stream, const std::string& plaintext);
// A header whose plain length unmasks to 0 under the current chain.
void AppendDirectoryTerminator(DirectoryStreamWriter& stream);

std::string EncodeEntryChunkHeader(uint32_t plainLength, uint32_t storedLength);
std::string EncodeEntryChunk(const std::string& key, const std::string& plaintext,
                             uint32_t plainLength, uint32_t storedLength);
// The packer's lengths: the plaintext's length, and that rounded up to whole blocks.
std::string EncodeEntryChunk(const std::string& key, const std::string& plaintext);

constexpr uint32_t kEntryChunkHeaderLength = 8;

// The packer's chunk built where it lies, for writers that stream: `frame` holds at most
// kEntryStoredLimit bytes of plaintext after room for the header, and room for the zero
// padding to whole blocks. Writes the header and the padding, encrypts, and returns the
// chunk's length. The bytes are those of EncodeEntryChunk(key, plaintext).
size_t EncryptEntryChunkInPlace(const IDEAEncryptionKey& key, uint8_t* frame,
                                uint32_t plainLength);
// `content` split at `chunkPlainLengths` (adding up to its length), or by default as above.
std::string EncodeEntryStream(const std::string& key, const std::string& content,
                              const std::vector<uint32_t>& chunkPlainLengths);
