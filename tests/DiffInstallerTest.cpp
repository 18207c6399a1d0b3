// vantis-pack diff: what changed between two game folders, packed.

#include <gtest/gtest.h>

#include "PackTestSupport.h"
#include "app/game/GameVersion.h"
#include "vantis-pack/commands/DiffInstaller.h"

using namespace packtest;

namespace {

// Two game folders, OLD at 1.0.4 and NEW at 1.0.5, beside a stub.
struct GamePair {
  Workspace work;
  fs::path oldGame = work.folder.Path() / "old";
  fs::path newGame = work.folder.Path() / "new";
  GamePair() {
    WriteFile(oldGame / "Bin" / "version.xml", FormatVersionFile(PackGameVersion(1, 0, 4)));
    WriteFile(newGame / "Bin" / "version.xml", FormatVersionFile(PackGameVersion(1, 0, 5)));
    for (const fs::path& game : {oldGame, newGame}) {
      WriteFile(game / "Bin" / "Vantis.exe", "exe");
      WriteFile(game / "Data" / "same.dat", Pattern(3000, 1));
    }
  }
  DiffOptions Options() const {
    DiffOptions options;
    options.oldFolder = oldGame;
    options.newFolder = newGame;
    options.outputPath = work.output;
    options.stubPath = work.stub;
    options.key = work.Options().key;
    return options;
  }
};

Outcome Diff(const DiffOptions& options) {
  return RunCommand([&](CommandOutput& output, std::string& error) {
    return DiffInstaller(options, output, error);
  });
}

TEST(DiffInstaller, PacksWhatChangedAndWarnsAboutWhatWentAway) {
  GamePair games;
  WriteFile(games.oldGame / "Data" / "changed.dat", "old");
  WriteFile(games.newGame / "Data" / "changed.dat", "new");
  WriteFile(games.oldGame / "Data" / "gone.dat", "gone");
  WriteFile(games.newGame / "Data" / "added" / "x.dat", "x");
  const fs::path notes = games.work.folder.Path() / "notes.txt";
  WriteFile(notes, "\xEF\xBB\xBF\xE4\xBF\xAE\xE5\xA4\x8D\n");  // BOM, 修复
  DiffOptions options = games.Options();
  options.notesPath = notes;
  options.rule = RuleAtMost;
  const Outcome outcome = Diff(options);
  ASSERT_TRUE(outcome.ok) << outcome.err;
  EXPECT_NE(outcome.out.find("diff: 1 new, 1 changed, 2 unchanged, 1 only in OLD"),
            std::string::npos)
      << outcome.out;
  EXPECT_NE(outcome.err.find("warning: Data/gone.dat: in OLD but not in NEW"), std::string::npos)
      << outcome.err;
  EXPECT_EQ(StoredEntry(games.work.output, "config.txt"),
            "1.0.5 <= 1.0.4\r\n\xD0\xDE\xB8\xB4\r\n");
  std::vector<std::string> names;
  for (const auto& item : PackageIndex) names.push_back(item.first);
  EXPECT_EQ(names, (std::vector<std::string>{"Data/added/x.dat", "Data/changed.dat", "config.txt"}));
  EXPECT_TRUE(PackageVolumeTable[0].integrity.present && IsPackageFrameIntact());
}

TEST(DiffInstaller, RefusesWithEveryReason) {
  GamePair games;
  fs::remove(games.oldGame / "Bin" / "version.xml");
  WriteFile(games.newGame / "Config.txt", "1.0.5 = 1.0.4\n");
  const Outcome first = Diff(games.Options());
  EXPECT_FALSE(first.ok);
  EXPECT_NE(first.err.find("2 problems:\n  OLD "), std::string::npos) << first.err;
  EXPECT_NE(first.err.find("version.xml: missing"), std::string::npos);
  EXPECT_NE(first.err.find("Config.txt: the installer would take it for its manifest"),
            std::string::npos);

  fs::remove(games.newGame / "Config.txt");
  WriteFile(games.oldGame / "Bin" / "version.xml", FormatVersionFile(PackGameVersion(1, 0, 5)));
  const Outcome second = Diff(games.Options());
  EXPECT_NE(second.err.find("NEW's version 1.0.5 is not newer than OLD's 1.0.5"),
            std::string::npos)
      << second.err;
  EXPECT_FALSE(fs::exists(games.work.output));
}

// The patch cannot delete: a file that became a folder, or a folder that became a file,
// would stop every player's install at that entry.
TEST(DiffInstaller, RefusesAFileThatBecameAFolderAndTheReverse) {
  GamePair games;
  WriteFile(games.oldGame / "Data" / "thing", "file");
  WriteFile(games.newGame / "Data" / "thing" / "a.txt", "a");
  WriteFile(games.oldGame / "Data" / "Maps" / "m.dat", "m");
  WriteFile(games.newGame / "Data" / "maps", "now a file");  // Windows ignores the case
  const Outcome outcome = Diff(games.Options());
  EXPECT_FALSE(outcome.ok);
  for (const char* expected :
       {"2 problems:\n", "Data/thing/a.txt: needs the folder Data/thing, which is a file in OLD",
        "Data/maps: a file in NEW, but a folder in OLD"}) {
    EXPECT_NE(outcome.err.find(expected), std::string::npos) << expected << "\n" << outcome.err;
  }
  EXPECT_FALSE(fs::exists(games.work.output));
}

// The installer packs the numbers without range checks: 257.0.5 would be patch 1.0.5.
TEST(DiffInstaller, RefusesVersionNumbersBeyondTheirFields) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"<major>257</major><minor>0</minor><build_number>5</build_number>",
       "<major> is 257, outside 0 to 255"},
      {"<major>256</major><minor>0</minor><build_number>5</build_number>",
       "<major> is 256, outside 0 to 255"},
      {"<major>1</major><minor>300</minor><build_number>0</build_number>",
       "<minor> is 300, outside 0 to 255"},
      {"<major>1</major><minor>0</minor><build_number>70000</build_number>",
       "<build_number> is 70000, outside 0 to 65535"},
      {"<major>-1</major><minor>0</minor><build_number>0</build_number>",
       "<major> is -1, outside 0 to 255"},
      {"<major>2</major>", "holds no <minor>"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.text);
    GamePair games;
    WriteFile(games.newGame / "Bin" / "version.xml", test.text);
    const Outcome outcome = Diff(games.Options());
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.err.find(std::string("NEW ")), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find(test.message), std::string::npos) << outcome.err;
  }
  GamePair games;  // the edges of each field are fine
  WriteFile(games.newGame / "Bin" / "version.xml", FormatVersionFile(PackGameVersion(255, 255, 65535)));
  EXPECT_TRUE(Diff(games.Options()).ok);
}

}  // namespace
