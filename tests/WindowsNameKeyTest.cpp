// Names as Windows compares them: letter case folded beyond ASCII.

#include <gtest/gtest.h>

#include "vantis-pack/names/WindowsNameKey.h"

namespace {

TEST(WindowsNameKey, FoldsEveryLetterWithASimpleUpperCase) {
  // ASCII, Cyrillic Д/д, Greek Ω/ω, full-width Ａ/ａ, Latin Extended-A Ā/ā (alternating).
  for (const auto& [upper, lower] : {std::pair<const char*, const char*>{"DATA/A.TXT", "data/a.txt"},
                                     {"\xD0\x94", "\xD0\xB4"},
                                     {"\xCE\xA9", "\xCF\x89"},
                                     {"\xEF\xBC\xA1", "\xEF\xBD\x81"},
                                     {"\xC4\x80", "\xC4\x81"}}) {
    EXPECT_EQ(WindowsNameKey(upper), WindowsNameKey(lower)) << upper;
  }
  EXPECT_EQ(WindowsNameKey("Data\\a"), WindowsNameKey("DATA/A"));
  // Upper case can take fewer bytes: dotless ı (2 bytes) is I (1 byte).
  EXPECT_EQ(WindowsNameKey("\xC4\xB1"), "I");

  // Not folded: sharp s (its upper case is two letters), Chinese, digits, another Ā's
  // neighbour, and bytes that are no UTF-8.
  EXPECT_NE(WindowsNameKey("\xC3\x9F"), WindowsNameKey("SS"));
  EXPECT_EQ(WindowsNameKey("\xE4\xBF\xAE 1"), "\xE4\xBF\xAE 1");
  EXPECT_NE(WindowsNameKey("\xC4\x80"), WindowsNameKey("\xC4\x82"));
  EXPECT_EQ(WindowsNameKey("a\xFF" "b"), "A\xFF" "B");
}

}  // namespace
