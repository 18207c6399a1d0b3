#include "package/format/DirectoryStream.h"

#include <gtest/gtest.h>

#include "TempFile.h"
#include "TestSinks.h"
#include "support/PackageFixture.h"
#include "crypto/RC2Encryption.h"

namespace {

const std::string kKey = "directory key";

StreamResult Read(const std::string& bytes, const std::string& key = kKey,
                  ChunkSink consumer = CollectChunk) {
  TempFile temp(bytes);
  ScopedFile file(OpenFileForSharedRead(temp.Native()));
  EXPECT_TRUE(file.IsOpen());
  StreamResult result;
  result.ok = ReadDirectoryStream(file.Get(), key, consumer, &result.chunks);
  result.TakeUnread(file.Get());
  return result;
}

DirectoryStreamWriter NewStream() {
  DirectoryStreamWriter stream;
  stream.key = kKey;
  return stream;
}

std::string BigEndian16(uint16_t value) {
  return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}

using Chunks = std::vector<std::string>;

TEST(DirectoryStream, DeliversEachChunkAndStopsRightAfterTheTerminator) {
  DirectoryStreamWriter stream = NewStream();
  AppendDirectoryChunk(stream, "a");
  AppendDirectoryChunk(stream, std::string(8192, 'b'));  // 8192 plain in 8192 stored
  AppendDirectoryChunk(stream, "records", 5, 16);         // decrypted bytes past 5 dropped
  AppendDirectoryTerminator(stream);

  StreamResult result = Read(stream.bytes + "after");
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.chunks, (Chunks{"a", std::string(8192, 'b'), "recor"}));
  EXPECT_EQ(result.unread, "after");
}

TEST(DirectoryStream, ReadsHeadersMaskedByHand) {
  // Chunk 1: plain 8 -> masked 8^5C3B = 5C33 (BE); stored 8^5C33 = 5C3B (LE).
  // Chunk 2: plain 1 -> masked 1^5C33 = 5C32;      stored 8^5C32 = 5C3A.
  // Terminator: masked 5C32 unmasks to 0.
  std::string blocks = "ABCDEFGHZ_______";
  const RC2ExpandedKey key = ExpandRC2VariantKey(kKey);
  EncryptRC2VariantBlocks(key, reinterpret_cast<uint8_t*>(&blocks[0]), blocks.size());
  const std::string bytes = std::string("\x5C\x33\x3B\x5C", 4) + blocks.substr(0, 8) +
                            std::string("\x5C\x32\x3A\x5C", 4) + blocks.substr(8) +
                            std::string("\x5C\x32\xFF\xFF", 4);

  StreamResult result = Read(bytes);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.chunks, (Chunks{"ABCDEFGH", "Z"}));
}

TEST(DirectoryStream, RecognisesTheTerminatorOnlyThroughTheChain) {
  StreamResult seedOnly = Read("\x5C\x3B\xFF\xFF" "after");
  EXPECT_TRUE(seedOnly.ok);
  EXPECT_TRUE(seedOnly.chunks.empty());
  EXPECT_EQ(seedOnly.unread, "after");

  EXPECT_FALSE(Read(std::string(4, '\0')).ok);  // unmasks to 0x5C3B, far over the limit

  DirectoryStreamWriter stream = NewStream();
  AppendDirectoryChunk(stream, "abc");
  const uint16_t masked = stream.chain;
  EXPECT_FALSE(Read(stream.bytes + BigEndian16(kDirectoryChainSeed) + "\xFF\xFF").ok);
  StreamResult chained = Read(stream.bytes + BigEndian16(masked) + "\xFF\xFF");
  EXPECT_TRUE(chained.ok);
  EXPECT_EQ(chained.chunks, Chunks{"abc"});
}

TEST(DirectoryStream, RefusesChunksOutsideTheFrameRules) {
  struct Case {
    uint16_t plainLength;
    uint16_t storedLength;
  };
  // Each would otherwise be followed by a terminator; 8193 stored bytes are really there,
  // so a missing limit check overruns the buffer.
  const Case cases[] = {{8193, 8200}, {8, 8193}, {8, 8200}, {5, 12}, {3, 0}, {9, 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.plainLength << "/" << c.storedLength);
    DirectoryStreamWriter stream = NewStream();
    AppendDirectoryChunk(stream, std::string(8200, 'x'), c.plainLength, c.storedLength);
    AppendDirectoryTerminator(stream);
    StreamResult result = Read(stream.bytes);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.chunks.empty());
  }
}

TEST(DirectoryStream, FailsOnAShortStreamAfterDeliveringWhatItRead) {
  DirectoryStreamWriter stream = NewStream();
  AppendDirectoryChunk(stream, "first");
  AppendDirectoryChunk(stream, "second");
  const std::string unterminated = stream.bytes;
  AppendDirectoryTerminator(stream);

  StreamResult missingTerminator = Read(unterminated);
  EXPECT_FALSE(missingTerminator.ok);
  EXPECT_EQ(missingTerminator.chunks, (Chunks{"first", "second"}));
  EXPECT_FALSE(Read(stream.bytes.substr(0, stream.bytes.size() - 2)).ok);  // cut header
  EXPECT_FALSE(Read(unterminated.substr(0, unterminated.size() - 1)).ok);  // cut ciphertext
  EXPECT_FALSE(Read("").ok);
}

TEST(DirectoryStream, StopsWhenTheConsumerRefuses) {
  DirectoryStreamWriter stream = NewStream();
  AppendDirectoryChunk(stream, "first");
  AppendDirectoryChunk(stream, "second");
  AppendDirectoryTerminator(stream);

  StreamResult result = Read(stream.bytes, kKey, CollectOneChunk);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.chunks, Chunks{"first"});
  EXPECT_THROW(Read(stream.bytes, kKey, ThrowBadAlloc), std::bad_alloc);
}

TEST(DirectoryStream, RefusesAnEmptyKeyBeforeReading) {
  StreamResult result = Read(std::string("\x5C\x3B\x00\x00" "after", 9), "");
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.unread.size(), 4 + 5u);
}

}  // namespace
