// CRC-32C against the published check values (RFC 3720, appendix B.4, and the catalogue's
// "123456789"), and against a bit-at-a-time reference written here from the polynomial
// alone, across lengths around the hardware code's three-stream stretches, misaligned
// starts and every split point.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "package/format/Crc32c.h"

namespace {

uint32_t BitwiseCrc32c(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (char c : data) {
    crc ^= static_cast<uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0x82F63B78u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string RandomBytes(size_t length, unsigned seed) {
  std::mt19937 rng(seed);
  std::string bytes(length, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  return bytes;
}

TEST(Crc32c, PublishedCheckValues) {
  std::string ascending;
  std::string descending;
  for (int i = 0; i < 32; ++i) {
    ascending.push_back(static_cast<char>(i));
    descending.push_back(static_cast<char>(31 - i));
  }
  const struct {
    std::string data;
    uint32_t crc;
  } cases[] = {
      {"123456789", 0xE3069283u},
      {std::string(32, '\0'), 0x8A9136AAu},
      {std::string(32, '\xFF'), 0x62A8AB43u},
      {ascending, 0x46DD794Eu},
      {descending, 0x113FDB5Cu},
      {"", 0u},
  };
  for (const auto& known : cases) {
    EXPECT_EQ(Crc32c(known.data.data(), known.data.size()), known.crc);
    EXPECT_EQ(ExtendCrc32cPortable(0, known.data.data(), known.data.size()), known.crc);
  }
}

TEST(Crc32c, BothPathsAgreeWithTheReferenceAtEveryLengthAndSplit) {
  if (!Crc32cInHardware()) std::printf("[crc32c] no SSE4.2: the table code runs twice\n");
  // Around one, two and three stretches of 3 x 4096 bytes, where the streams are joined.
  const std::string data = RandomBytes(3 * 3 * 4096 + 200, 1);
  std::vector<size_t> lengths;
  for (size_t length = 0; length < 80; ++length) lengths.push_back(length);
  for (size_t edge : {size_t{3 * 4096}, size_t{2 * 3 * 4096}, size_t{3 * 3 * 4096}}) {
    for (size_t length = edge - 9; length <= edge + 9; ++length) lengths.push_back(length);
  }
  for (size_t length : lengths) {
    for (size_t start : {size_t{0}, size_t{1}, size_t{3}, size_t{7}}) {
      const std::string piece = data.substr(start, length);
      const uint32_t expected = BitwiseCrc32c(piece);
      ASSERT_EQ(Crc32c(piece.data(), piece.size()), expected) << length << " from " << start;
      ASSERT_EQ(ExtendCrc32cPortable(0, piece.data(), piece.size()), expected) << length;
    }
  }
  // Any split gives the checksum of the whole.
  const std::string whole = data.substr(5, 3 * 4096 + 40);
  const uint32_t expected = BitwiseCrc32c(whole);
  for (size_t split = 0; split <= whole.size(); split += 97) {
    const uint32_t first = Crc32c(whole.data(), split);
    ASSERT_EQ(ExtendCrc32c(first, whole.data() + split, whole.size() - split), expected) << split;
  }
}

}  // namespace
