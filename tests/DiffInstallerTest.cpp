// vantis-pack diff: what changed between two game folders, packed.

#include <gtest/gtest.h>

#include "PackTestSupport.h"
#include "app/game/GameVersion.h"
#include "vantis-pack/commands/DiffInstaller.h"
#include "vantis-pack/commands/PackCommandLine.h"

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

// The command line as the program runs it; `ok` is a zero exit status.
Outcome RunTool(const std::vector<std::string>& arguments) {
  return RunCommand([&](CommandOutput& output, std::string&) {
    return RunPackTool(arguments, output) == kExitSuccess;
  });
}

std::string KindsProgram() {
  ProgramShape shape;
  shape.entryKinds = "compressed delta";
  return MakeProgram(shape);
}

// A changed file whose delta is far smaller than the file, and a new text file that
// deflates well.
void AddChanges(const GamePair& games) {
  std::string changed = Pattern(200000, 3);
  WriteFile(games.oldGame / "Data" / "big.dat", changed);
  changed[1000] ^= 0x5A;
  changed.insert(150000, "inserted");
  WriteFile(games.newGame / "Data" / "big.dat", changed);
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + " of the new text\n";
  WriteFile(games.newGame / "Data" / "readme.txt", text);
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

// What the installer would install, from each entry's stored form: deltas need the game
// folder they were made against, and a file there that is not OLD's copy is named, before
// anything is written.
TEST(DiffInstaller, DeltasAndCompressedEntriesListVerifyAndExtract) {
  GamePair games;
  WriteFile(games.work.stub, KindsProgram());
  AddChanges(games);
  ASSERT_TRUE(Diff(games.Options()).ok);
  const std::string installer = games.work.output.u8string();
  const std::string oldGame = games.oldGame.u8string();

  // A dry run's document: what would go in, and what changed.
  const Outcome planned =
      RunTool({"diff", oldGame, games.newGame.u8string(), "-o", installer + ".dry", "--stub",
               games.work.stub.u8string(), "--dry-run", "--json"});
  ASSERT_TRUE(planned.ok) << planned.err;
  for (const std::string expected :
       {"\"dryRun\": true, \"built\": false, \"problem\": null", "\"sha256\": null",
        "\"entryCount\": 3, \"wholeCount\": 1, \"compressedCount\": 1, \"deltaCount\": 1",
        "{\"name\": \"Data/big.dat\", \"kind\": \"delta\", \"size\": ",
        "\"new\": 1, \"changed\": 1, \"unchanged\": 2, \"onlyInOld\": []}"}) {
    EXPECT_NE(planned.out.find(expected), std::string::npos) << expected << "\n" << planned.out;
  }
  EXPECT_FALSE(fs::exists(installer + ".dry"));

  const Outcome listed = RunTool({"list", "--json", installer});
  ASSERT_TRUE(listed.ok) << listed.err;
  for (const std::string expected :
       {"\"name\": \"Data/big.dat\", \"size\": ", "\"kind\": \"delta\", \"installedSize\": 200008, "
        "\"sourceSize\": 200000}",
        "\"name\": \"Data/readme.txt\", \"size\": ", "\"kind\": \"compressed\", "
        "\"installedSize\": 50890}",
        "\"kind\": \"whole\", \"installedSize\": 15}"}) {
    EXPECT_NE(listed.out.find(expected), std::string::npos) << expected << "\n" << listed.out;
  }
  const Outcome text = RunTool({"list", installer});
  EXPECT_NE(text.out.find("bytes stored, 250,913 bytes installed\n"), std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("200,008 delta "), std::string::npos) << text.out;

  const Outcome alone = RunTool({"verify", installer});
  EXPECT_TRUE(alone.ok) << alone.err;
  EXPECT_NE(alone.out.find("1 delta entry checked without the game file it applies to"), std::string::npos)
      << alone.out;
  EXPECT_TRUE(RunTool({"verify", installer, "--game", oldGame}).ok);

  const fs::path folder = games.work.folder.Path() / "extracted";
  const Outcome refused = RunTool({"extract", installer, "-C", folder.u8string()});
  EXPECT_FALSE(refused.ok);
  EXPECT_NE(refused.err.find("Data/big.dat: a delta against the game's copy of the file; give "
                             "--game DIR"),
            std::string::npos)
      << refused.err;
  EXPECT_FALSE(fs::exists(folder));
  const Outcome extracted = RunTool({"extract", installer, "-C", folder.u8string(), "--game", oldGame});
  ASSERT_TRUE(extracted.ok) << extracted.err;
  for (const char* name : {"Data/big.dat", "Data/readme.txt"}) {
    EXPECT_EQ(ReadFile(folder / name), ReadFile(games.newGame / name)) << name;
  }
  fs::remove_all(folder);

  // One byte of OLD's copy changed, then the copy gone.
  std::string other = ReadFile(games.oldGame / "Data" / "big.dat");
  other[77] ^= 1;
  WriteFile(games.oldGame / "Data" / "big.dat", other);
  const Outcome mismatch = RunTool({"verify", "--json", installer, "--game", oldGame});
  EXPECT_FALSE(mismatch.ok);
  EXPECT_NE(mismatch.out.find("\"damagedEntries\": [{\"name\": \"Data/big.dat\"}]"),
            std::string::npos)
      << mismatch.out;
  const Outcome named = RunTool({"verify", installer, "--game", oldGame});
  EXPECT_NE(named.err.find("Data/big.dat: the delta applies to " +
                           (games.oldGame / "Data" / "big.dat").u8string() +
                           ", which does not match"),
            std::string::npos)
      << named.err;
  EXPECT_FALSE(RunTool({"extract", installer, "-C", folder.u8string(), "--game", oldGame}).ok);
  EXPECT_FALSE(fs::exists(folder));
  fs::remove(games.oldGame / "Data" / "big.dat");
  const Outcome missing = RunTool({"verify", installer, "--game", oldGame});
  EXPECT_NE(missing.err.find("big.dat, which is missing"), std::string::npos) << missing.err;
}

// --plain: the package a program that reads whole entries only gets, byte for byte.
TEST(DiffInstaller, PlainStoresWhatAProgramWithoutKindsGets) {
  GamePair games;
  AddChanges(games);
  const std::string kinds = KindsProgram();
  WriteFile(games.work.stub, StubOfLength(kinds.size()));
  const Outcome whole = Diff(games.Options());
  ASSERT_TRUE(whole.ok) << whole.err;
  EXPECT_NE(whole.err.find("does not declare that it reads compressed entries"),
            std::string::npos);
  const std::string expected = ReadFile(games.work.output).substr(kinds.size());

  WriteFile(games.work.stub, kinds);
  const Outcome plain = RunTool({"diff", games.oldGame.u8string(), games.newGame.u8string(), "-o",
                             games.work.output.u8string(), "--stub", games.work.stub.u8string(),
                             "--key", kKeyHex, "--plain"});
  ASSERT_TRUE(plain.ok) << plain.err;
  EXPECT_EQ(plain.err, "");
  EXPECT_TRUE(ReadFile(games.work.output).substr(kinds.size()) == expected);
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
