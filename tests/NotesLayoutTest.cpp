// The notes as the install dialog's text box shows them.

#include <gtest/gtest.h>

#include "PackTestSupport.h"
#include "vantis-pack/report/NotesLayout.h"

using namespace packtest;

namespace {

TEST(NotesLayout, LineEndsAndTheTextBoxsExtent) {
  std::string text = "a\nb\r\nc\n\n";
  EXPECT_EQ(ConvertBareLineFeeds(text), 3u);
  EXPECT_EQ(text, "a\r\nb\r\nc\r\n\r\n");
  EXPECT_EQ(ConvertBareLineFeeds(text), 0u);

  // Line ends at the end make no line; a Chinese character is two columns; tabs stop at 8.
  NotesExtent extent = MeasureNotes("one\r\n\xB2\xB9\xB6\xA1 x\r\nthree\r\n\r\n");
  EXPECT_EQ(extent.lineCount, 3u);
  EXPECT_EQ(extent.widestLine, 2u);
  EXPECT_EQ(extent.widestColumns, 6u);
  extent = MeasureNotes("a\n\tb\n\n");
  EXPECT_EQ(extent.lineCount, 2u);
  EXPECT_EQ(extent.widestColumns, 9u);
  EXPECT_EQ(MeasureNotes("\r\n").lineCount, 0u);
}

TEST(NotesLayout, BuildWarnsOfNotesTheBoxCannotShowWhole) {
  Workspace work;
  work.Add("config.txt", "1.0.5 = 1.0.4\r\n1\r\n2\r\n3\r\n" + std::string(57, 'w') + "\r\n");
  const Outcome built = Build(work.Options());
  ASSERT_TRUE(built.ok) << built.err;
  EXPECT_NE(built.err.find("the notes take 4 lines; the installer's text box shows 3"),
            std::string::npos) << built.err;
  EXPECT_NE(built.err.find("line 4 of the notes is about 57 characters wide"), std::string::npos)
      << built.err;
  EXPECT_EQ(built.err.find("LF"), std::string::npos) << "CR LF is left alone";

  work.Add("config.txt", "1.0.5 = 1.0.4\r\n1\r\n2\r\n" + std::string(56, 'w'));
  EXPECT_EQ(Build(work.Options()).err, "");
}

#ifdef VANTIS_SAMPLE_PATCH
// The sample is what publishers copy: stored as Windows shows it, and fitting the box.
TEST(NotesLayout, SamplePatchIsStoredWithCrLfAndFits) {
  const fs::path sample = fs::u8path(VANTIS_SAMPLE_PATCH);
  std::string raw = ReadFile(sample / "config.txt");
  ASSERT_FALSE(raw.empty());
  EXPECT_EQ(ConvertBareLineFeeds(raw), 0u) << "a checkout turned its CR LF into LF";
  Workspace work;
  BuildOptions options = work.Options();
  options.sourceFolder = sample;
  options.plain = true;  // the test's program declares no other kinds, and would be noted
  const Outcome built = Build(options);
  ASSERT_TRUE(built.ok) << built.err;
  EXPECT_EQ(built.err, "vantis-pack: config.txt: converted from UTF-8 to code page 936\n");
}
#endif

}  // namespace
