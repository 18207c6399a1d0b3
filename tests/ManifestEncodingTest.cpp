// The manifest as the installer must get it: code page 936 from UTF-8 or as given.

#include <gtest/gtest.h>

#include "PackTestSupport.h"
#include "vantis-pack/report/ManifestEncoding.h"

using namespace packtest;

namespace {

TEST(ManifestEncoding, ConvertsUtf8AndKeepsCodePage936) {
  std::string stored;
  std::string notice;
  std::string error;
  ASSERT_TRUE(EncodeManifestText("\xEF\xBB\xBF" + kUtf8Manifest, NotesEncoding::kAuto, stored,
                                 notice, error));
  EXPECT_EQ(stored, kCp936Manifest);
  EXPECT_EQ(notice, "converted from UTF-8 to code page 936; byte order mark removed");

  // Code page 936 text is no valid UTF-8, so the guess keeps it; so does the override.
  ASSERT_TRUE(EncodeManifestText(kCp936Manifest, NotesEncoding::kAuto, stored, notice, error));
  EXPECT_EQ(stored, kCp936Manifest);
  EXPECT_EQ(notice, "");
  EXPECT_FALSE(EncodeManifestText(kCp936Manifest, NotesEncoding::kUtf8, stored, notice, error));
  EXPECT_EQ(error, "not valid UTF-8 text");
  EXPECT_FALSE(EncodeManifestText("1.0.5 = 1.0.4 \x81", NotesEncoding::kCp936, stored, notice,
                                  error));

  for (const char* invalid : {"\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE8\xA1",
                                     "\x80"}) {
    EXPECT_FALSE(IsValidUtf8(invalid)) << testing::PrintToString(invalid);
  }
  EXPECT_TRUE(IsValidUtf8("a\xC2\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF"));
}

}  // namespace
