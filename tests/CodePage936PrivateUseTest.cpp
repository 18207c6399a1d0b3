// The private-use codes of code page 936, which the C library's table lacks: every two-byte
// code converts, each private-use one both ways, and under Windows as Windows converts it.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "vantis-pack/host/CodePage936.h"
#include "vantis-pack/host/CodePage936PrivateUse.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

TEST(CodePage936PrivateUse, EveryTwoByteCodeConvertsAndThePrivateOnesFillTheirArea) {
  std::set<uint32_t> codes;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
      std::string utf8;
      std::string back;
      ASSERT_TRUE(ConvertCp936ToUtf8(pair, utf8)) << std::hex << lead << trail;
      ASSERT_TRUE(ConvertUtf8ToCp936(utf8, back));
      EXPECT_EQ(back, pair);

      uint32_t code = 0;
      if (!DecodeCp936PrivateUse(static_cast<uint8_t>(lead), static_cast<uint8_t>(trail), code)) {
        continue;
      }
      uint8_t encodedLead = 0;
      uint8_t encodedTrail = 0;
      ASSERT_TRUE(EncodeCp936PrivateUse(code, encodedLead, encodedTrail));
      EXPECT_EQ(encodedLead, lead);
      EXPECT_EQ(encodedTrail, trail);
      EXPECT_TRUE(codes.insert(code).second) << std::hex << code;
#ifdef _WIN32
      // Windows' own table is the reference.
      wchar_t wide[2] = {};
      ASSERT_EQ(MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, pair.data(), 2, wide, 2), 1);
      EXPECT_EQ(static_cast<uint32_t>(wide[0]), code) << std::hex << lead << trail;
#endif
    }
  }
  ASSERT_EQ(codes.size(), 0xE865u - 0xE000u);
  EXPECT_EQ(*codes.begin(), 0xE000u);
  EXPECT_EQ(*codes.rbegin(), 0xE864u);
  uint8_t lead = 0;
  uint8_t trail = 0;
  EXPECT_FALSE(EncodeCp936PrivateUse(0xE865, lead, trail));
  EXPECT_FALSE(EncodeCp936PrivateUse(0xDFFF, lead, trail));
}

}  // namespace
