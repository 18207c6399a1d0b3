// --exclude patterns: on each name, or anchored at the top of the tree.

#include <gtest/gtest.h>

#include "PackTestSupport.h"
#include "vantis-pack/ExcludePattern.h"

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

}  // namespace
