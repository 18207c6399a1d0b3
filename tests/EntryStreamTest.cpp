#include "package/format/EntryStream.h"

#include <gtest/gtest.h>

#include "TempFile.h"
#include "TestSinks.h"
#include "crypto/IDEAEncryption.h"
#include "support/PackageFixture.h"

namespace {

const std::string kKey = "entry key";

StreamResult Read(const std::string& bytes, uint32_t size, ChunkSink sink = CollectChunk) {
  TempFile temp(bytes);
  ScopedFile file(OpenFileForSharedRead(temp.Native()));
  EXPECT_TRUE(file.IsOpen());
  StreamResult result;
  result.ok = ReadEntryStream(sink, &result.chunks, file.Get(), size, kKey);
  result.TakeUnread(file.Get());
  return result;
}

std::string Chunk(const std::string& plaintext) { return EncodeEntryChunk(kKey, plaintext); }

using Chunks = std::vector<std::string>;

TEST(EntryStream, DeliversChunksUntilTheSizeIsReached) {
  const std::string stream = Chunk("abc") + Chunk("") + Chunk("defgh") + "after";

  StreamResult exact = Read(stream, 8);
  EXPECT_TRUE(exact.ok);
  EXPECT_EQ(exact.chunks, (Chunks{"abc", "", "defgh"}));
  EXPECT_EQ(exact.unread, "after");

  StreamResult pastSize = Read(stream, 4);  // the last chunk still arrives whole
  EXPECT_TRUE(pastSize.ok);
  EXPECT_EQ(pastSize.chunks, (Chunks{"abc", "", "defgh"}));

  StreamResult empty = Read(stream, 0);
  EXPECT_TRUE(empty.ok);
  EXPECT_TRUE(empty.chunks.empty());
  EXPECT_EQ(empty.unread, stream.substr(0, 32));
}

TEST(EntryStream, ReadsAHeaderLaidOutByHand) {
  // plainLength 5 big-endian, storedLength 8 little-endian; the last 3 bytes are dropped.
  std::string block = "hello, w";
  const IDEAEncryptionKey key = ExpandIDEAEncryptionKey(kKey);
  EncryptIDEABlocks(key, reinterpret_cast<uint8_t*>(&block[0]), block.size());

  StreamResult result = Read(std::string("\0\0\0\x05\x08\0\0\0", 8) + block, 5);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.chunks, Chunks{"hello"});
  EXPECT_EQ(Read(EncodeEntryChunk(kKey, "padded by a block", 6, 16), 6).chunks,
            Chunks{"padded"});
}

TEST(EntryStream, TakesTheLargestChunkAndRefusesLarger) {
  const std::string largest(kEntryStoredLimit, 'L');
  StreamResult result = Read(Chunk(largest), kEntryStoredLimit);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.chunks, Chunks{largest});

  // With the ciphertext really present, a missing stored-length check would succeed.
  EXPECT_FALSE(Read(EncodeEntryChunk(kKey, "", 8, kEntryPlainLimit), 8).ok);
  EXPECT_FALSE(Read(EncodeEntryChunkHeader(8, kEntryStoredLimit + 1), 8).ok);
  EXPECT_FALSE(Read(EncodeEntryChunkHeader(8, 0xFFFFFFFF), 8).ok);
  // Passes its own limit but can never be decrypted from at most 1 MiB - 8 bytes.
  EXPECT_FALSE(Read(EncodeEntryChunk(kKey, largest, kEntryPlainLimit, kEntryStoredLimit),
                    kEntryPlainLimit)
                   .ok);
}

TEST(EntryStream, RefusesBrokenChunks) {
  struct Case {
    const char* what;
    std::string stream;
  };
  const std::string abc = Chunk("abc");
  const Case cases[] = {
      {"stored 12", EncodeEntryChunk(kKey, "twelve bytes", 5, 12)},
      {"stored 0 under plain 1", EncodeEntryChunkHeader(1, 0) + abc},
      {"plain over stored", EncodeEntryChunk(kKey, "nine char", 9, 8)},
      {"cut ciphertext", abc.substr(0, abc.size() - 1)},
      {"cut header", abc.substr(0, 7)},
      {"ends before size", abc},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StreamResult result = Read(c.stream, 10);
    EXPECT_FALSE(result.ok);
    EXPECT_LE(result.chunks.size(), 1u);
  }
  EXPECT_EQ(Read(abc, 10).chunks, Chunks{"abc"});  // delivered before the failure
}

TEST(EntryStream, StopsWhenTheSinkRefuses) {
  const std::string stream = Chunk("abc") + Chunk("def");
  StreamResult result = Read(stream, 6, CollectOneChunk);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.chunks, Chunks{"abc"});
  EXPECT_THROW(Read(stream, 6, ThrowBadAlloc), std::bad_alloc);
}

}  // namespace
