#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "app/game/PatchManifest.h"

namespace {

struct Manifest {
  GameVersion patchVersion;
  VersionRuleKind rule;
  GameVersion requiredVersion;
  std::string notes;
};

bool operator==(const Manifest& a, const Manifest& b) {
  return a.patchVersion == b.patchVersion && a.rule == b.rule &&
         a.requiredVersion == b.requiredVersion && a.notes == b.notes;
}

void PrintTo(const Manifest& m, std::ostream* out) {
  *out << std::hex << m.patchVersion << " rule " << m.rule << " " << m.requiredVersion
       << " notes \"" << m.notes << '"';
}

Manifest Parse(const std::string& content) {
  ParsePatchManifest(content);
  return {PatchVersion, VersionRule, RequiredVersion, PatchNotes};
}

constexpr GameVersion k105 = 0x01000005u;
constexpr GameVersion k104 = 0x01000004u;

}  // namespace

TEST(PatchManifest, ParsesTheFourParts) {
  struct Case {
    const char* label;
    std::string content;
    Manifest expected;
  };
  const Case cases[] = {
      {"at most, notes with line ends", "1.0.5 <= 1.0.4\r\nFixes crash.\r\nNew map.\r\n",
       {k105, RuleAtMost, k104, "Fixes crash.\r\nNew map.\r\n"}},
      {"exact", "1.0.5 = 1.0.4\nnotes", {k105, RuleExact, k104, "notes"}},
      {"numbers separated by any mix", "1 0 5\t=\v1..0. 4\n\n notes",
       {k105, RuleExact, k104, "notes"}},
      {"token against the version before", "1.0.5<= 1.0.4\nn", {k105, RuleAtMost, k104, "n"}},
      {"carries", "1.300.0 = 2.44.0", {0x022C0000u, RuleExact, 0x022C0000u, ""}},
      {"trailing white space stays in notes", "1.0.5 = 1.0.4\n notes \n\t ",
       {k105, RuleExact, k104, "notes \n\t "}},
      {"ends after the required version", "1.0.5 = 1.0.4", {k105, RuleExact, k104, ""}},
      {"only white space after", "1.0.5 = 1.0.4 \r\n", {k105, RuleExact, k104, ""}},
      {"empty", "", {0u, RuleInvalid, 0u, ""}},
      {"huge number saturates then packs", "99999999999.0.0 = 0.0.0",
       {0xFF000000u, RuleExact, 0u, ""}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Parse(c.content), c.expected) << c.label;
  }
}

TEST(PatchManifest, OnlyTheExactTokensAreRules) {
  struct Case {
    const char* token;
    VersionRuleKind expected;
  };
  const Case cases[] = {
      {"=", RuleExact}, {"<=", RuleAtMost}, {">=", RuleInvalid}, {"==", RuleInvalid},
      {"=<", RuleInvalid}, {"<", RuleInvalid}, {"<==", RuleInvalid}, {"\xA1\xDC", RuleInvalid},
      {"<=\f", RuleInvalid},  // form feed is not white space here
  };
  for (const Case& c : cases) {
    const Manifest parsed = Parse(std::string("1.0.5 ") + c.token + " 1.0.4\nnotes");
    EXPECT_EQ(parsed, (Manifest{k105, c.expected, k104, "notes"})) << c.token;
  }
}

TEST(PatchManifest, MisplacedTextShiftsWhatFollows) {
  // The token swallows the required version; the version is read from what comes after.
  EXPECT_EQ(Parse("1.0.5 <=1.0.4 2.3.4 notes"),
            (Manifest{k105, RuleInvalid, 0x02030004u, "notes"}));
  EXPECT_EQ(Parse("1.0.5 <=1.0.4\nnotes"), (Manifest{k105, RuleInvalid, 0u, "notes"}));
  // A fourth number becomes the token; '=' is no separator, so no numbers are found after.
  EXPECT_EQ(Parse("1.0.5.2 = 1.0.4\nnotes"),
            (Manifest{k105, RuleInvalid, 0u, "= 1.0.4\nnotes"}));
  // Two numbers: the build is taken from the digits the notes begin with.
  EXPECT_EQ(Parse("1.0.5 = 1.0\n42nd patch"),
            (Manifest{k105, RuleExact, 0x0100002Au, "nd patch"}));
  EXPECT_EQ(Parse("1.0.5 = 1.0\nFixes"), (Manifest{k105, RuleExact, 0x01000000u, "Fixes"}));
  // No sign is taken: "-1" is an empty run and the '-' starts the token.
  EXPECT_EQ(Parse("1.0 -1 = 1.0.4"), (Manifest{0x01000000u, RuleInvalid, 0u, "= 1.0.4"}));
}

TEST(PatchManifest, ZeroByteEndsTheText) {
  using namespace std::string_literals;
  EXPECT_EQ(Parse("1.0.5 = 1.0.4\nnotes\0hidden"s),
            (Manifest{k105, RuleExact, k104, "notes"}));
  EXPECT_EQ(Parse("1.0.5 =\0 1.0.4\nnotes"s), (Manifest{k105, RuleExact, 0u, ""}));
  EXPECT_EQ(Parse("1.0\0.5 = 1.0.4"s), (Manifest{0x01000000u, RuleInvalid, 0u, ""}));
}

TEST(PatchManifest, EveryCallSetsAllFour) {
  Parse("1.0.5 <= 1.0.4\nnotes");
  EXPECT_EQ(Parse(""), (Manifest{0u, RuleInvalid, 0u, ""}));
}

TEST(ScanVersionNumber, SkipsSeparatorsAndStopsAfterDigits) {
  struct Case {
    const char* text;
    int32_t expected;
    size_t endOffset;
  };
  const Case cases[] = {
      {"12.3", 12, 2},
      {" .\t\n\v\r.7x", 7, 8},
      {"..x", 0, 2},   // empty run: cursor on the byte that ended the skip
      {"\f5", 0, 0},   // form feed is not a separator
      {"-5", 0, 0},
      {"\xB9" "5", 0, 0},
      {"", 0, 0},
      {"2147483647", INT32_MAX, 10},
      {"2147483648", INT32_MAX, 10},
      {"99999999999999999999.1", INT32_MAX, 20},
      {"0000000000000000000042", 42, 22},
  };
  for (const Case& c : cases) {
    const char* cursor = c.text;
    EXPECT_EQ(ScanVersionNumber(cursor), c.expected) << '"' << c.text << '"';
    EXPECT_EQ(static_cast<size_t>(cursor - c.text), c.endOffset) << '"' << c.text << '"';
  }
}
