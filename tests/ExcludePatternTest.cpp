// --exclude patterns: on each name, or anchored at the top of the tree.

#include <gtest/gtest.h>

#include "PackTestSupport.h"
#include "vantis-pack/names/ExcludePattern.h"

using namespace packtest;

namespace {

TEST(ExcludePattern, MatchesEachNameOrTheWholePath) {
  const struct {
    const char* pattern;
    const char* name;
    bool excluded;
  } cases[] = {
      {"*.pdb", "Bin/game.pdb", true},     {"*.pdb", "Bin/GAME.PDB", true},
      {"*.pdb", "Bin/game.pdb.txt", false}, {".git", ".git/config", true},
      {".git", "Data/.git/x", true},       {".git", "Data/.gitignore", false},
      {"Data/*.tmp", "Data/a.tmp", true},  {"Data/*.tmp", "Data/sub/a.tmp", false},
      {"Data/*.tmp", "Maps/Data/a.tmp", false}, {"Data/cache", "Data/cache/a/b", true},
      {"*", "a/b", true},                  {"Data*", "Data/x", true},
      {"a?c", "abc", true},                {"a?c", "a/c", false},
      {"[a-c]x", "Bx", true},              {"[!a-c]x", "bx", false},
      {"[!a-c]x", "dx", true},             {"\\*", "*", true},
      {"\\*", "a", false},                {"[x", "[x", true},
      {"*a*b*c", "xaxxbxxc", true},        {"*a*b*c", "xaxxbxxcd", false},
      {"cache/", "Data/cache/x", true},    {"/Thumbs.db", "Thumbs.db", true},
      {"/Thumbs.db", "Data/Thumbs.db", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsExcluded({c.pattern}, c.name), c.excluded) << c.pattern << " on " << c.name;
  }
}

// "**" as in .gitignore: a whole "**" folder spans any number of folders; elsewhere it is "*".
TEST(ExcludePattern, DoubleStarSpansFolders) {
  const struct {
    const char* pattern;
    const char* name;
    bool excluded;
  } cases[] = {
      {"**/*.pdb", "top.pdb", true},           {"**/*.pdb", "Data/x.pdb", true},
      {"**/*.pdb", "Data/a/y.pdb", true},      {"**/*.PDB", "Data/a/b/z.pdb", true},
      {"**/*.pdb", "Data/a/z.pdbx", false},    {"/**/cache", "Data/a/cache/x", true},
      {"Data/**/*.tmp", "Data/x.tmp", true},   {"Data/**/*.tmp", "Data/a/b/x.tmp", true},
      {"Data/**/*.tmp", "Maps/Data/x.tmp", false}, {"Data/**/*.tmp", "Data/a/x.tmpl", false},
      {"Data/**", "Data/a/b", true},           {"Data/**", "Data", false},
      {"Data/**", "Database/a", false},        {"a/**/**/b", "a/b", true},
      {"a/**/b", "a/x/y/b/c", true},           {"a/**/b", "a/xb", false},
      {"**", "x/y", true},                     {"a**b", "axxb", true},
      {"a**b", "ax/b", false},                 {"Data/x**", "Data/xy/z", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsExcluded({c.pattern}, c.name), c.excluded) << c.pattern << " on " << c.name;
  }
}

}  // namespace
