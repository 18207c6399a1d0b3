#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "TempFile.h"
#include "app/game/AsciiToInt.h"
#include "app/game/GameVersion.h"

namespace {

GameVersion ReadVersionText(const std::string& text) {
  TempFile file(text);
  return ReadInstalledVersion(file.Native());
}

std::string Tagged(const char* name, const std::string& value) {
  return std::string("<") + name + ">" + value + "</" + name + ">";
}

}  // namespace

TEST(GameVersion, PacksFieldsIntoBytesAndOrdersAsNumbers) {
  EXPECT_EQ(PackGameVersion(1, 2, 3), 0x01020003u);
  EXPECT_GT(PackGameVersion(1, 2, 3), PackGameVersion(1, 1, 65535));
  EXPECT_LT(PackGameVersion(1, 2, 3), PackGameVersion(1, 3, 0));
  // Unsigned order: a major of 128 and up is still above 127.
  EXPECT_GT(PackGameVersion(200, 0, 0), PackGameVersion(127, 255, 65535));

  const GameVersion version = PackGameVersion(255, 254, 65533);
  EXPECT_EQ(VersionMajor(version), 255u);
  EXPECT_EQ(VersionMinor(version), 254u);
  EXPECT_EQ(VersionBuild(version), 65533u);
}

TEST(GameVersion, OutOfRangeFieldsCarryAndWrap) {
  EXPECT_EQ(PackGameVersion(1, 300, 0), PackGameVersion(2, 44, 0));
  EXPECT_EQ(PackGameVersion(1, 0, 65536), PackGameVersion(1, 1, 0));
  EXPECT_EQ(PackGameVersion(256, 0, 0), 0u);
  EXPECT_EQ(PackGameVersion(0, 0, -1), 0xFFFFFFFFu);
  EXPECT_EQ(PackGameVersion(-1, 0, 0), 0xFF000000u);
  EXPECT_EQ(PackGameVersion(1, -1, 0), 0x00FF0000u);
  EXPECT_EQ(PackGameVersion(INT32_MAX, INT32_MAX, INT32_MAX), 0x7EFEFFFFu);
  EXPECT_EQ(PackGameVersion(INT32_MIN, INT32_MIN, INT32_MIN), 0x80000000u);
}

TEST(GameVersion, FormatsTheSixLineFile) {
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<version>\n"
      "\t<major>1</major>\n"
      "\t<minor>0</minor>\n"
      "\t<build_number>5</build_number>\n"
      "</version>\n";
  EXPECT_EQ(FormatVersionFile(PackGameVersion(1, 0, 5)), expected);
  EXPECT_EQ(expected.size(), 128u);

  // A manifest's 1.300.2 is stored as what it packs to.
  const std::string carried = FormatVersionFile(PackGameVersion(1, 300, 2));
  EXPECT_NE(carried.find("\t<major>2</major>\n\t<minor>44</minor>\n"), std::string::npos);
  EXPECT_NE(carried.find("\t<build_number>2</build_number>\n"), std::string::npos);
  EXPECT_EQ(FormatVersionFile(PackGameVersion(255, 255, 65535)).size(), 128u + 2 + 2 + 4);
}

TEST(ReadInstalledVersion, ReadsWhatIsWritten) {
  for (GameVersion version : {0u, 0x01000005u, 0x0102FFFFu, 0xFFFFFFFFu, 0x80000001u}) {
    EXPECT_EQ(ReadVersionText(FormatVersionFile(version)), version) << std::hex << version;
  }
}

TEST(ReadInstalledVersion, SearchesTagsNotXml) {
  struct Case {
    const char* label;
    std::string text;
    GameVersion expected;
  };
  const std::string major = Tagged("major", "1");
  const std::string minor = Tagged("minor", "2");
  const std::string build = Tagged("build_number", "3");
  const Case cases[] = {
      {"other order", build + "\n" + minor + "\n" + major, 0x01020003u},
      {"one line, no root", major + minor + build, 0x01020003u},
      {"tag in comment counts first", "<!-- " + Tagged("major", "7") + " -->" + major + minor,
       0x07020000u},
      {"closing tag only before", "</major>" + std::string("<major>4") + minor, 0x00020000u},
      {"closing tag after a stray one", "</major><major>4</major>", 0x04000000u},
      {"closing tag of another field", "<major>4</minor>", 0u},
      {"decimal stops at dot", Tagged("major", "1.5") + minor, 0x01020000u},
      {"white space, junk after", Tagged("major", " \r\n\t 9 beta") + Tagged("minor", "+3x"),
       0x09030000u},
      {"negative wraps", Tagged("build_number", "-1"), 0xFFFFFFFFu},
      {"no build", major + minor, 0x01020000u},
      {"no tags", "<version>1.2.3</version>", 0u},
      {"wrong case", "<Major>1</Major>", 0u},
      {"empty file", "", 0u},
      {"zero byte ends the text", major + std::string(1, '\0') + minor, 0x01000000u},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadVersionText(c.text), c.expected) << c.label;
  }
}

TEST(ReadInstalledVersion, Utf16FileReadsAsZero) {
  const std::string narrow = FormatVersionFile(PackGameVersion(1, 0, 5));
  std::string wide = "\xFF\xFE";
  for (char byte : narrow) {
    wide += byte;
    wide += '\0';
  }
  EXPECT_EQ(ReadVersionText(wide), 0u);
}

TEST(ReadInstalledVersion, SeesOnlyTheFirst4096Bytes) {
  const std::string major = Tagged("major", "1");
  // Closing tag ends exactly at byte 4096: still seen.
  EXPECT_EQ(ReadVersionText(std::string(4096 - major.size(), ' ') + major + "<minor>2"),
            0x01000000u);
  // One byte further and the closing tag is cut.
  EXPECT_EQ(ReadVersionText(std::string(4097 - major.size(), ' ') + major), 0u);
  // Tags at the start of a large file.
  EXPECT_EQ(ReadVersionText(major + std::string(10000, 'x')), 0x01000000u);
}

TEST(ReadInstalledVersion, MissingFileReadsAsZero) {
  NativePath path;
  {
    TempFile file;
    path = file.Native();
  }
  EXPECT_EQ(ReadInstalledVersion(path), 0u);
}

TEST(AsciiToInt, MatchesTheCLibrary) {
  struct Case {
    const char* text;
    int32_t expected;
  };
  const Case cases[] = {
      {"0", 0},
      {"42", 42},
      {"007", 7},
      {"+7x", 7},
      {"-12 3", -12},
      {" \t\n\v\f\r42", 42},
      {"1.5", 1},
      {"", 0},
      {"+", 0},
      {"-", 0},
      {"- 5", 0},
      {"+-5", 0},
      {"x5", 0},
      {"\xB5" "5", 0},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MAX},
      {"4294967297", INT32_MAX},
      {"21474836470", INT32_MAX},
      {"99999999999999999999999999999999", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"-2147483649", INT32_MIN},
      {"-4294967296", INT32_MIN},
      {"-99999999999999999999999999999999", INT32_MIN},
      {"00000000000000000000000000000000123", 123},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AsciiToInt(c.text), c.expected) << '"' << c.text << '"';
  }
}
