// vantis-pack: installers built from a folder must read back, through the installer's own
// reader, exactly as the folder was; everything the installer or Windows would refuse must
// be refused before an output file appears; damaged installers must be named as such.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "FakeSignature.h"
#include "crypto/EntryStream.h"
#include "package/PackageIndex.h"
#include "app/GameVersion.h"
#include "packer/BuildInstaller.h"
#include "packer/DiffInstaller.h"
#include "packer/ExcludePattern.h"
#include "packer/InspectInstaller.h"
#include "packer/InstallerProgram.h"
#include "packer/ManifestWarnings.h"
#include "packer/Interruption.h"
#include "packer/NotesEncoding.h"
#include "packer/NotesLayout.h"
#include "packer/PackCommandLine.h"
#include "packer/PackableName.h"
#include "packer/PackageWriter.h"
#include "packer/Sha256.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

namespace fs = std::filesystem;

namespace {

const std::string kKeyHex = "00112233445566778899aabbccddeeff";
struct ProgramShape {
  uint16_t machine = 0x014C;  // 32-bit x86
  uint16_t subsystem = 2;     // Windows GUI
  std::vector<std::pair<uint32_t, uint32_t>> resources = {{5, 100}, {14, 100}};  // (type, id)
};

void Put16(std::string& bytes, size_t at, uint32_t value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8 & 0xFF);
}
void Put32(std::string& bytes, size_t at, uint32_t value) {
  Put16(bytes, at, value & 0xFFFF);
  Put16(bytes, at + 2, value >> 16);
}

// Headers of a Windows program as Microsoft's PE/COFF description lays them out, with one
// resource section of the given (type, id) resources, each with one language. No code:
// the packer reads the headers only.
std::string MakeProgram(const ProgramShape& shape) {
  const bool pe32Plus = shape.machine == 0x8664;  // x86-64 programs have the wider header
  const uint32_t optionalLength = pe32Plus ? 240 : 224;
  const uint32_t directories = pe32Plus ? 112 : 96;
  const uint32_t peOffset = 0x40;
  const uint32_t sectionTable = peOffset + 24 + optionalLength;
  const uint32_t rawOffset = 0x200;
  const uint32_t rva = 0x1000;
  const auto count = static_cast<uint32_t>(shape.resources.size());
  std::string tree(16 + 8 * count + 64 * count, '\0');
  Put16(tree, 14, count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t base = 16 + 8 * count + 64 * i;  // type, id and language levels, data
    Put32(tree, 16 + 8 * i, shape.resources[i].first);
    Put32(tree, 20 + 8 * i, base | 0x80000000u);
    Put16(tree, base + 14, 1);
    Put32(tree, base + 16, shape.resources[i].second);
    Put32(tree, base + 20, (base + 24) | 0x80000000u);
    Put16(tree, base + 24 + 14, 1);
    Put32(tree, base + 24 + 16, 0x0804);
    Put32(tree, base + 24 + 20, base + 48);
    Put32(tree, base + 48, rva);  // the data entry: an empty resource
  }
  std::string program(rawOffset, '\0');
  program[0] = 'M';
  program[1] = 'Z';
  Put32(program, 0x3C, peOffset);
  program.replace(peOffset, 4, std::string("PE\0\0", 4));
  Put16(program, peOffset + 4, shape.machine);
  Put16(program, peOffset + 6, 1);      // sections
  Put16(program, peOffset + 20, optionalLength);
  Put16(program, peOffset + 22, 0x0102);  // executable, 32-bit
  const uint32_t optional = peOffset + 24;
  Put16(program, optional, pe32Plus ? 0x020B : 0x010B);
  Put16(program, optional + 68, shape.subsystem);
  Put32(program, optional + directories - 4, 16);
  Put32(program, optional + directories + 16, rva);
  Put32(program, optional + directories + 20, static_cast<uint32_t>(tree.size()));
  program.replace(sectionTable, 5, ".rsrc");
  Put32(program, sectionTable + 8, static_cast<uint32_t>(tree.size()));
  Put32(program, sectionTable + 12, rva);
  Put32(program, sectionTable + 16, static_cast<uint32_t>(tree.size()));
  Put32(program, sectionTable + 20, rawOffset);
  return program + tree;
}

const std::string kStub = MakeProgram(ProgramShape());

// The stub followed by other bytes, as a program's sections would follow its headers.
std::string StubOfLength(size_t length) { return kStub + std::string(length - kStub.size(), 'h'); }
// "1.0.5 <= 1.0.4", then 补丁 and 修复 in UTF-8, and as the installer must get them.
const std::string kUtf8Manifest =
    "1.0.5 <= 1.0.4\n\xE8\xA1\xA5\xE4\xB8\x81 \xE4\xBF\xAE\xE5\xA4\x8D\n";
const std::string kCp936Manifest = "1.0.5 <= 1.0.4\n\xB2\xB9\xB6\xA1 \xD0\xDE\xB8\xB4\n";
// What build stores of either: line ends as Windows' edit control breaks them.
const std::string kStoredManifest = "1.0.5 <= 1.0.4\r\n\xB2\xB9\xB6\xA1 \xD0\xDE\xB8\xB4\r\n";

class TempFolder {
 public:
  TempFolder() {
    static const unsigned run = std::random_device{}();
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            ("vantis-pack-test-" + std::to_string(run) + "-" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

void WriteFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> FolderListing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    names.push_back(fs::relative(item.path(), folder).generic_u8string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Varied bytes, so that misplaced chunks cannot compare equal.
std::string Pattern(size_t length, unsigned seed) {
  std::string bytes(length, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

struct Outcome {
  bool ok = false;
  std::string out;
  std::string err;  // notices and the error text
};

// A source tree with its stub and output beside it.
struct Workspace {
  TempFolder folder;
  fs::path source = folder.Path() / "patch";
  fs::path output = folder.Path() / "out" / "installer.exe";
  fs::path stub = folder.Path() / "stub.exe";

  Workspace() {
    fs::create_directories(source);
    fs::create_directories(output.parent_path());
    WriteFile(stub, kStub);
  }
  void Add(const std::string& name, const std::string& content) const {
    WriteFile(source / fs::u8path(name), content);
  }
  BuildOptions Options() const {
    BuildOptions options;
    options.sourceFolder = source;
    options.outputPath = output;
    options.stubPath = stub;
    std::string error;
    EXPECT_TRUE(ParseKeyHex(kKeyHex, options.key, error));
    return options;
  }
};

template <typename Command>
Outcome RunCommand(Command command) {
  std::ostringstream out;
  std::ostringstream err;
  CommandOutput output{out, err, nullptr};
  std::string error;
  Outcome outcome;
  outcome.ok = command(output, error);
  outcome.out = out.str();
  outcome.err = err.str() + error;
  return outcome;
}

Outcome Build(const BuildOptions& options) {
  return RunCommand([&](CommandOutput& output, std::string& error) {
    return BuildInstaller(options, output, error);
  });
}
Outcome List(const fs::path& installer) {
  return RunCommand([&](CommandOutput& output, std::string& error) {
    return ListInstaller(installer, output, error);
  });
}
Outcome Verify(const fs::path& installer) {
  return RunCommand([&](CommandOutput& output, std::string& error) {
    return VerifyInstaller(installer, output, error);
  });
}
Outcome Extract(const fs::path& installer, const fs::path& folder,
                const std::vector<std::string>& names = {}) {
  return RunCommand([&](CommandOutput& output, std::string& error) {
    return ExtractInstaller(installer, folder, output, error, names);
  });
}

std::string StoredEntry(const fs::path& installer, const std::string& name) {
  std::string content;
  const PackageEntry* entry = OpenPackage(installer.native()) ? FindPackageEntry(name) : nullptr;
  if (!entry || !ReadEntry(*entry, content)) ADD_FAILURE() << "cannot read " << name;
  return content;
}

uint32_t LittleEndian32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return value;
}

// Where the directory starts, found as the reader finds it: trailer, then header.
size_t DirectoryOffset(const std::string& installer) {
  const uint32_t headerOffset = LittleEndian32(installer, installer.size() - 4) ^ 0x5C3B;
  const size_t keyLength =
      static_cast<unsigned char>(installer[headerOffset]) |
      static_cast<size_t>(static_cast<unsigned char>(installer[headerOffset + 1])) << 8;
  return LittleEndian32(installer, headerOffset + 2 + keyLength);
}

TEST(PackerBuild, RoundTripsATreeThroughListVerifyAndExtract) {
  Workspace work;
  // Sizes around the chunk limit: none, part of one, exactly one, one and a bit, several.
  const std::vector<std::pair<std::string, std::string>> files = {
      {"Bin/empty.dat", ""},
      {"Bin/one.dat", "x"},
      {"Data/exact.bin", Pattern(kEntryStoredLimit, 1)},
      {"Data/maps/over.bin", Pattern(kEntryStoredLimit + 1, 2)},
      {"Data/maps/deep/er/three.bin", Pattern(2 * kEntryStoredLimit + 5, 3)},
      {"\xE5\x9C\xB0\xE5\x9B\xBE/\xE8\xAF\xB4\xE6\x98\x8E.txt", "chinese name"},  // 地图/说明.txt
  };
  for (const auto& [name, content] : files) work.Add(name, content);
  work.Add("config.txt", kUtf8Manifest);

  const Outcome built = Build(work.Options());
  ASSERT_TRUE(built.ok) << built.err;
  EXPECT_NE(built.err.find("config.txt: converted from UTF-8 to code page 936"), std::string::npos);
  EXPECT_EQ(ReadFile(work.output).compare(0, kStub.size(), kStub), 0);
  EXPECT_NE(built.err.find("config.txt: 2 LF line end(s) converted to CR LF"), std::string::npos);
  EXPECT_EQ(StoredEntry(work.output, "config.txt"), kStoredManifest);
  EXPECT_NE(FindPackageEntry("\xB5\xD8\xCD\xBC/\xCB\xB5\xC3\xF7.txt"), nullptr)
      << "names are stored in code page 936";

  const Outcome verified = Verify(work.output);
  EXPECT_TRUE(verified.ok) << verified.err;
  EXPECT_NE(verified.out.find("OK, 7 entries"), std::string::npos) << verified.out;

  const Outcome listed = List(work.output);
  ASSERT_TRUE(listed.ok) << listed.err;
  for (const std::string& expected :
       {std::string("patch version     1.0.5"), std::string("rule              <= 1.0.4"),
        std::string("  \xE8\xA1\xA5\xE4\xB8\x81 \xE4\xBF\xAE\xE5\xA4\x8D\n"),
        std::string("2,097,141"), files[5].first}) {
    EXPECT_NE(listed.out.find(expected), std::string::npos) << expected << "\n" << listed.out;
  }

  const fs::path extracted = work.folder.Path() / "extracted";
  const Outcome written = Extract(work.output, extracted);
  ASSERT_TRUE(written.ok) << written.err;
  for (const auto& [name, content] : files) {
    EXPECT_EQ(ReadFile(extracted / fs::u8path(name)), content) << name;
  }
  EXPECT_EQ(ReadFile(extracted / "config.txt"), kStoredManifest);
  EXPECT_EQ(FolderListing(extracted).size(), 13u) << "7 files in 6 folders, nothing else";
}

TEST(PackerBuild, SameTreeAndKeyGiveTheSameBytes) {
  // Two trees with equal content, created in opposite orders.
  Workspace first;
  Workspace second;
  const std::vector<std::string> names = {"b/2.dat", "a/1.dat", "a.dat", "B.dat", "config.txt"};
  for (size_t i = 0; i < names.size(); ++i) {
    const size_t j = names.size() - 1 - i;
    first.Add(names[i], names[i] == "config.txt" ? kUtf8Manifest : Pattern(1000 + i, 0));
    second.Add(names[j], names[j] == "config.txt" ? kUtf8Manifest : Pattern(1000 + j, 0));
  }
  ASSERT_TRUE(Build(first.Options()).ok);
  ASSERT_TRUE(Build(second.Options()).ok);
  const std::string reference = ReadFile(first.output);
  EXPECT_EQ(ReadFile(second.output), reference);

  BuildOptions random = first.Options();
  random.key.clear();
  const Outcome randomBuild = Build(random);
  ASSERT_TRUE(randomBuild.ok) << randomBuild.err;
  EXPECT_NE(randomBuild.out.find(" (random)"), std::string::npos);
  const std::string randomBytes = ReadFile(first.output);
  EXPECT_EQ(randomBytes.size(), reference.size());
  EXPECT_NE(randomBytes, reference);
  ASSERT_TRUE(Build(random).ok);
  EXPECT_NE(ReadFile(first.output), randomBytes) << "every build draws a new key";
}

struct Refusal {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;
  std::string message;
};

TEST(PackerBuild, RefusesWhatTheInstallerOrWindowsCannotTakeAndLeavesNoFile) {
  const std::string manifest = "1.0.5 = 1.0.4\n";
  const std::vector<Refusal> refusals = {
      {"no manifest", {{"a.txt", "a"}}, "config.txt: missing"},
      {"manifest in another case", {{"Config.txt", manifest}}, "(found Config.txt"},
      {"bad rule", {{"config.txt", "1.0.5 >= 1.0.4\nnotes"}},
       "config.txt: the rule must be \"=\" or \"<=\"; the first line reads \"1.0.5 >= 1.0.4\""},
      {"words for versions", {{"config.txt", "abc <= def\n"}},
       "the first line reads \"abc <= def\""},
      {"unstorable notes", {{"config.txt", manifest + "ok\n\xF0\x9F\x98\x80"}},
       "config.txt: holds \"\xF0\x9F\x98\x80\" on line 3, which code page 936 cannot store"},
#ifndef _WIN32  // names that Windows itself cannot create, or takes for one another
      {"device name", {{"config.txt", manifest}, {"Data/con.txt", ""}},
       "Data/con.txt: reserved device name"},
      {"case twins", {{"config.txt", manifest}, {"Readme.txt", "1"}, {"README.txt", "2"}},
       "only in letter case"},
      {"file and folder in two cases",
       {{"config.txt", manifest}, {"data", "1"}, {"Data/x", "2"}},
       "data: is a file, but Data is a folder"},
      {"trailing dot", {{"config.txt", manifest}, {"a.", ""}}, "a.: name ends with a dot"},
      {"trailing space", {{"config.txt", manifest}, {"dir /b", ""}}, "dir /b: name ends with"},
      {"colon", {{"config.txt", manifest}, {"x:y", ""}}, "x:y: character ':'"},
      {"backslash", {{"config.txt", manifest}, {"x\\y", ""}}, "x\\y: character '\\'"},
      {"control byte", {{"config.txt", manifest}, {"a\tb", ""}}, "control character"},
      {"not UTF-8", {{"config.txt", manifest}, {"caf\xE9", ""}}, "code page 936"},
#endif
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.name);
    Workspace work;
    for (const auto& [name, content] : refusal.files) work.Add(name, content);
    WriteFile(work.output, "previous installer");
    const Outcome outcome = Build(work.Options());
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.err.find(refusal.message), std::string::npos) << outcome.err;
    EXPECT_EQ(ReadFile(work.output), "previous installer");
    EXPECT_EQ(FolderListing(work.output.parent_path()).size(), 1u);
  }

  Workspace work;
  work.Add("config.txt", manifest);
  BuildOptions options = work.Options();
  options.stubPath = work.folder.Path() / "missing.exe";
  EXPECT_NE(Build(options).err.find("missing.exe: installer program not found"), std::string::npos);
  options.stubPath = work.source / "config.txt";
  EXPECT_NE(Build(options).err.find("not a Windows program"), std::string::npos);
  EXPECT_FALSE(fs::exists(work.output));
  options = work.Options();
  options.outputPath = work.source / "Bin" / "installer.exe";
  fs::create_directories(options.outputPath.parent_path());
  EXPECT_NE(Build(options).err.find("installer.exe: lies inside the source folder"),
            std::string::npos);
}

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

TEST(PackerDiff, PacksWhatChangedAndWarnsAboutWhatWentAway) {
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
}

TEST(PackerDiff, RefusesWithEveryReason) {
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

#ifndef _WIN32  // links, pipes, signals, sparse files and names Windows cannot create
TEST(PackerBuild, ReportsEveryProblemInOneRunUpToACap) {
  Workspace work;
  for (int i = 0; i < 22; ++i) work.Add("Data/" + std::to_string(100 + i) + "*.dat", "");
  work.Add("Data/ok.dat", "");
  const Outcome outcome = Build(work.Options());
  EXPECT_FALSE(outcome.ok);
  EXPECT_NE(outcome.err.find("23 problems:\n  Data/100*.dat: character '*'"), std::string::npos)
      << outcome.err;
  EXPECT_NE(outcome.err.find("\n  Data/119*.dat: "), std::string::npos);
  EXPECT_EQ(outcome.err.find("Data/120*.dat"), std::string::npos) << "capped at 20";
  EXPECT_NE(outcome.err.find("\n  ... and 3 more"), std::string::npos);
  EXPECT_FALSE(fs::exists(work.output));
}

TEST(PackerBuild, ExcludedFilesStayOutAndADryRunWritesNothing) {
  Workspace work;
  work.Add("config.txt", "1.0.5 = 1.0.4\n");
  work.Add("Data/a.dat", "aaa");
  work.Add("Data/cache/x.dat", "x");
  work.Add("Data/debug.PDB", "");
  work.Add(".git/bad:name", "");  // not even looked at
  BuildOptions options = work.Options();
  options.excludePatterns = {".git", "*.pdb", "Data/cache"};
  options.dryRun = true;
  const Outcome listed = Build(options);
  ASSERT_TRUE(listed.ok) << listed.err;
  EXPECT_NE(listed.out.find("would build "), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("             3  Data/a.dat\n"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("left out by --exclude: Data/cache/\n"), std::string::npos);
  EXPECT_EQ(listed.out.find("x.dat"), std::string::npos);
  EXPECT_TRUE(FolderListing(work.output.parent_path()).empty());

  options.dryRun = false;
  ASSERT_TRUE(Build(options).ok);
  ASSERT_TRUE(OpenPackage(work.output.string()));
  EXPECT_EQ(PackageIndex.size(), 2u) << "config.txt and Data/a.dat";
}

TEST(PackerBuild, FollowsLinksInsideTheTreeOnly) {
  Workspace work;
  work.Add("config.txt", "1.0.5 = 1.0.4\n");
  work.Add("real/a.dat", "inside");
  fs::create_symlink("real/a.dat", work.source / "file-link.dat");
  fs::create_directory_symlink("real", work.source / "folder-link");
  const Outcome built = Build(work.Options());
  ASSERT_TRUE(built.ok) << built.err;
  EXPECT_EQ(StoredEntry(work.output, "file-link.dat"), "inside");
  EXPECT_EQ(StoredEntry(work.output, "folder-link/a.dat"), "inside");

  const std::vector<std::pair<std::string, std::string>> links = {
      {"../stub.exe", "outside.dat: symbolic link that leads outside the source folder"},
      {"..", "outside.dat: symbolic link that leads outside"},
      {"nowhere", "outside.dat: symbolic link to a missing target"},
  };
  for (const auto& [target, message] : links) {
    fs::create_symlink(target, work.source / "outside.dat");
    const Outcome outcome = Build(work.Options());
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.err.find(message), std::string::npos) << outcome.err;
    fs::remove(work.source / "outside.dat");
  }
  fs::create_directory_symlink("..", work.source / "real" / "loop");
  EXPECT_NE(Build(work.Options()).err.find("link/loop: symbolic link loop"), std::string::npos);
  EXPECT_EQ(FolderListing(work.output.parent_path()).size(), 1u) << "only the first build";
}

TEST(PackerExtract, CreatesNothingOutsideItsFolder) {
  Workspace work;
  work.Add("config.txt", "1.0.5 = 1.0.4\n");
  work.Add("Data/sub/deep/a.dat", "a");
  ASSERT_TRUE(Build(work.Options()).ok);
  const fs::path folder = work.folder.Path() / "extracted";
  const fs::path elsewhere = work.folder.Path() / "elsewhere";
  fs::create_directories(folder / "inside");
  fs::create_directories(elsewhere);

  fs::create_directory_symlink("../elsewhere", folder / "Data");
  const Outcome outside = Extract(work.output, folder);
  EXPECT_FALSE(outside.ok);
  EXPECT_NE(outside.err.find("Data/sub/deep/a.dat: its folder leads outside"), std::string::npos)
      << outside.err;
  EXPECT_TRUE(FolderListing(elsewhere).empty());

  // A link that stays inside the folder is followed.
  fs::remove(folder / "Data");
  fs::create_directory_symlink("inside", folder / "Data");
  const Outcome inside = Extract(work.output, folder);
  EXPECT_TRUE(inside.ok) << inside.err;
  EXPECT_EQ(ReadFile(folder / "inside" / "sub" / "deep" / "a.dat"), "a");
}

// As root, a device given as the output would be replaced by a regular file. The cases
// here need no root: a pipe, a link (here to /dev/null) and a folder.
TEST(PackerBuild, ReplacesOnlyARegularFile) {
  Workspace work;
  work.Add("config.txt", "1.0.5 = 1.0.4\n");
  work.Add("Data/a.dat", "a");
  const fs::path folder = work.output.parent_path();
  ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
  fs::create_symlink("/dev/null", folder / "link");
  fs::create_directory(folder / "folder");
  for (const auto& [name, kind] : {std::pair<std::string, std::string>{"pipe", "a pipe"},
                                   {"link", "a symbolic link"}, {"folder", "a folder"}}) {
    BuildOptions options = work.Options();
    options.outputPath = folder / name;
    const Outcome outcome = Build(options);
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.err.find(name + ": exists and is " + kind + ", not a regular file"),
              std::string::npos)
        << outcome.err;
  }
  EXPECT_TRUE(fs::is_fifo(folder / "pipe"));
  EXPECT_TRUE(fs::is_symlink(folder / "link"));

  // Extraction refuses before it writes any entry.
  ASSERT_TRUE(Build(work.Options()).ok);
  const fs::path extracted = work.folder.Path() / "extracted";
  fs::create_directories(extracted / "Data");
  ASSERT_EQ(::mkfifo((extracted / "Data" / "a.dat").c_str(), 0600), 0);
  const Outcome outcome = Extract(work.output, extracted);
  EXPECT_FALSE(outcome.ok);
  EXPECT_NE(outcome.err.find("a.dat: exists and is a pipe"), std::string::npos) << outcome.err;
  EXPECT_EQ(FolderListing(extracted), (std::vector<std::string>{"Data", "Data/a.dat"}));
}

// A progress terminal that raises its signal at the first draw: the command is then in the
// middle of writing, with its temporary file open, at the same point on every run.
ssize_t RaiseOnWrite(void* signalNumber, const char*, size_t length) {
  std::raise(*static_cast<int*>(signalNumber));
  return static_cast<ssize_t>(length);
}

// The exit status of `command` run in a child process, as the program runs it, and
// interrupted by `signalNumber` from within; 0 if the signal never came.
template <typename Command>
int StatusWhenInterrupted(int signalNumber, Command command) {
  const pid_t child = fork();
  if (child == 0) {
    InstallInterruptionCleanup();
    cookie_io_functions_t functions{};
    functions.write = RaiseOnWrite;
    std::ostringstream ignored;
    CommandOutput output{ignored, ignored, fopencookie(&signalNumber, "w", functions)};
    std::string error;
    command(output, error);
    _exit(0);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PackerInterruption, SigintAndSigtermRemoveTheTemporaryFile) {
  Workspace work;
  work.Add("config.txt", "1.0.5 = 1.0.4\n");
  work.Add("Data/a.bin", Pattern(3 * kEntryStoredLimit, 1));
  EXPECT_EQ(StatusWhenInterrupted(SIGINT, [&work](CommandOutput& output, std::string& error) {
              return BuildInstaller(work.Options(), output, error);
            }),
            130);
  EXPECT_TRUE(FolderListing(work.output.parent_path()).empty());

  ASSERT_TRUE(Build(work.Options()).ok);
  const fs::path folder = work.folder.Path() / "extracted";
  EXPECT_EQ(StatusWhenInterrupted(SIGTERM, [&](CommandOutput& output, std::string& error) {
              return ExtractInstaller(work.output, folder, output, error);
            }),
            143);
  EXPECT_EQ(FolderListing(folder), std::vector<std::string>{"Data"});
}

// Sparse files and dry runs: nothing is read or written. The stub's length moves the
// installer's length, which is always a multiple of 8, ready for signing.
TEST(PackerBuild, RefusesInstallersLongerThanTheInstallerCanOpen) {
  Workspace work;
  work.Add("config.txt", "1.0.5 = 1.0.4\n");
  work.Add("a.bin", "");
  BuildOptions dryRun = work.Options();
  dryRun.dryRun = true;
  const auto wouldBe = [&dryRun]() -> uint64_t {
    const Outcome outcome = Build(dryRun);
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.err.find("opens files of at most 2,147,483,651 bytes"), std::string::npos)
        << outcome.err;
    const size_t at = outcome.err.find("would be ");
    std::string digits;
    for (size_t i = at + 9; at != std::string::npos && i < outcome.err.size(); ++i) {
      if (outcome.err[i] == ' ') break;
      if (outcome.err[i] != ',') digits += outcome.err[i];
    }
    return digits.empty() ? 0 : std::stoull(digits);
  };
  fs::resize_file(work.source / "a.bin", uint64_t{1} << 32);
  EXPECT_GT(wouldBe(), uint64_t{1} << 32);

  const uint64_t stubLength = 4 << 20;
  const uint64_t firstRefused = (kInstallerLengthLimit + 7) / 8 * 8;  // 2 GiB + 8
  fs::resize_file(work.source / "a.bin", (uint64_t{1} << 31) - stubLength / 2);
  fs::resize_file(work.stub, stubLength);
  const uint64_t length = wouldBe();
  ASSERT_GT(length, firstRefused);
  ASSERT_LT(length - firstRefused, stubLength);
  fs::resize_file(work.stub, stubLength - (length - firstRefused));
  EXPECT_EQ(wouldBe(), firstRefused);
  fs::resize_file(work.stub, fs::file_size(work.stub) - 8);
  const Outcome fits = Build(dryRun);
  EXPECT_TRUE(fits.ok) << fits.err;
  EXPECT_NE(fits.out.find(" 2,147,483,648 bytes in all"), std::string::npos) << fits.out;
  EXPECT_EQ(FolderListing(work.output.parent_path()).size(), 0u);
}
#endif

// A good installer to damage, and installers written field by field with the writer.
class DamagedInstaller : public testing::Test {
 protected:
  void SetUp() override {
    work_.Add("config.txt", kUtf8Manifest);
    work_.Add("Data/big.bin", Pattern(kEntryStoredLimit + 100, 7));
    work_.Add("Data/small.txt", "small");
    ASSERT_TRUE(Build(work_.Options()).ok);
    good_ = ReadFile(work_.output);
  }

  fs::path Damaged(const std::string& bytes) {
    const fs::path path = work_.folder.Path() / "damaged.exe";
    WriteFile(path, bytes);
    return path;
  }

  fs::path WrittenByTheWriter(std::vector<PackageRecord> records) {
    PackageLayout layout;
    layout.host = kStub;
    layout.key = "a key";
    layout.records = std::move(records);
    return Damaged(BuildPackage(layout));
  }

  enum Command { kVerify = 1, kList = 2, kExtract = 4 };

  // The commands in `failing` fail, verify with `message`; the others succeed. Extraction
  // writes no file when it fails.
  void Expect(const fs::path& installer, int failing, const std::string& message) {
    const Outcome verified = Verify(installer);
    EXPECT_EQ(verified.ok, (failing & kVerify) == 0);
    EXPECT_NE(verified.err.find(message), std::string::npos) << verified.err;
    EXPECT_EQ(List(installer).ok, (failing & kList) == 0);
    const fs::path folder = work_.folder.Path() / "extracted";
    EXPECT_EQ(Extract(installer, folder).ok, (failing & kExtract) == 0);
    if (failing & kExtract) {
      EXPECT_EQ(RegularFileCount(folder), 0u);
    }
    fs::remove_all(folder);
  }

  static size_t RegularFileCount(const fs::path& folder) {
    if (!fs::exists(folder)) return 0;
    size_t count = 0;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
      if (item.is_regular_file()) ++count;
    }
    return count;
  }

  Workspace work_;
  std::string good_;
};

TEST_F(DamagedInstaller, TruncatedOrWithoutPackage) {
  const int all = kVerify | kList | kExtract;
  Expect(Damaged(good_.substr(0, good_.size() - 3)), all, "no package found");
  Expect(Damaged(good_.substr(0, good_.size() / 2)), all, "no package found");
  Expect(Damaged(kStub), all, "no package found");
  Expect(work_.folder.Path() / "absent.exe", all, "absent.exe: no such file");
}

TEST_F(DamagedInstaller, FlippedByteInTheDirectory) {
  std::string bytes = good_;
  bytes[DirectoryOffset(bytes) + 5] ^= 0x40;  // inside the first record's first block
  Expect(Damaged(bytes), kVerify | kList | kExtract, "no package found");
}

TEST_F(DamagedInstaller, FlippedByteInAnEntrysChunkHeaderIsNamed) {
  ASSERT_TRUE(OpenPackage(work_.output.native()));
  const uint32_t bigOffset = FindPackageEntry("Data/big.bin")->offset;
  std::string bytes = good_;
  // The second chunk's plain length: the first chunk still reads, the entry does not, and
  // extraction stops before it writes any part of it.
  bytes[bigOffset + 8 + kEntryStoredLimit + 2] ^= 0x01;
  Expect(Damaged(bytes), kVerify | kExtract, "Data/big.bin: its data is damaged");
}

TEST_F(DamagedInstaller, NamesAndManifestsTheInstallerRefuses) {
  const PackageRecord manifest = MakeContentRecord("config.txt", "1.0.5 = 1.0.4\n");
  Expect(WrittenByTheWriter({manifest, MakeContentRecord("../evil.dll", "x")}),
         kVerify | kExtract, "../evil.dll: the installer refuses this name");
  const fs::path controlName = WrittenByTheWriter({manifest, MakeContentRecord("a\nb", "x")});
  Expect(controlName, kVerify | kExtract, "a\\x0Ab: the installer refuses this name");
  EXPECT_NE(List(controlName).out.find("  a\\x0Ab\n"), std::string::npos) << "shown escaped";

  // Extraction shows what a patch holds, whatever its manifest says.
  Expect(WrittenByTheWriter({MakeContentRecord("a.txt", "x")}), kVerify, "config.txt: missing");
  Expect(WrittenByTheWriter({MakeContentRecord("config.txt", "1.0.5 == 1.0.4")}), kVerify,
         "config.txt: the rule must be \"=\" or \"<=\"; the first line reads \"1.0.5 == 1.0.4\"");
}

TEST_F(DamagedInstaller, EveryNameUsedAsFileAndFolderIsNamed) {
  const PackageRecord manifest = MakeContentRecord("config.txt", "1.0.5 = 1.0.4\n");
  // \x81\x41 and \x81\x61 are two characters of code page 936, not letters to fold.
  const PackageRecord distinct[] = {MakeContentRecord("\x81\x41", "x"),
                                    MakeContentRecord("\x81\x61/b.dat", "x")};
  const fs::path clashing = WrittenByTheWriter(
      {manifest, distinct[0], distinct[1], MakeContentRecord("Data/a", "x"),
       MakeContentRecord("Data/a/b.dat", "x"), MakeContentRecord("Maps/A", "x"),
       MakeContentRecord("maps\\a\\b.dat", "x")});
  const Outcome verified = Verify(clashing);
  EXPECT_FALSE(verified.ok);
  for (const char* expected :
       {"2 problems:\n", "  Data/a: is a file, but Data/a/b.dat needs a folder",
        "  Maps/A: is a file, but maps\\a\\b.dat needs a folder"}) {
    EXPECT_NE(verified.err.find(expected), std::string::npos) << verified.err;
  }
  EXPECT_TRUE(Verify(WrittenByTheWriter({manifest, distinct[0], distinct[1]})).ok);
}

TEST_F(DamagedInstaller, JsonGivesTheManifestEntriesAndVerdict) {
  const auto json = [](const fs::path& installer, bool verify) {
    return RunCommand([&](CommandOutput& output, std::string& error) {
      return verify ? VerifyInstaller(installer, output, error, ReportFormat::kJson)
                    : ListInstaller(installer, output, error, ReportFormat::kJson);
    });
  };
  const Outcome listed = json(work_.output, false);
  ASSERT_TRUE(listed.ok) << listed.err;
  const Outcome verified = json(work_.output, true);
  EXPECT_TRUE(verified.ok) << verified.err;
  for (const std::string& expected :
       {std::string("\"patchVersion\": \"1.0.5\", \"rule\": \"<=\", \"ruleValid\": true"),
        std::string("\"notes\": \"\xE8\xA1\xA5\xE4\xB8\x81 \xE4\xBF\xAE\xE5\xA4\x8D\\r\\n\"}"),
        std::string("\"entryCount\": 3, \"contentLength\": 1048700,"),
        std::string("{\"name\": \"Data/small.txt\", \"size\": 5, \"offset\": ")}) {
    EXPECT_NE(listed.out.find(expected), std::string::npos) << expected << "\n" << listed.out;
    EXPECT_NE(verified.out.find(expected), std::string::npos) << expected;
  }
  EXPECT_NE(listed.out.find("\n \"signature\": {\"signed\": false},\n"), std::string::npos);
  EXPECT_EQ(listed.out.find("verified"), std::string::npos);
  EXPECT_NE(verified.out.find("\"verified\": true, \"problem\": null}\n"), std::string::npos);

  // A refused package still gets its verdict, and JSON escapes what the name holds.
  const Outcome refused = json(
      WrittenByTheWriter({MakeContentRecord("config.txt", "1.0.5 = 1.0.4\n"),
                          MakeContentRecord("a\"\n", "x")}),
      true);
  EXPECT_FALSE(refused.ok);
  EXPECT_NE(refused.out.find("{\"name\": \"a\\\"\\n\", \"size\": 1"), std::string::npos)
      << refused.out;
  EXPECT_NE(refused.out.find("\"verified\": false, \"problem\": \"a\\\"\\\\x0A: the "
                             "installer refuses this name"),
            std::string::npos)
      << refused.out;
}

TEST_F(DamagedInstaller, ExtractsTheNamedEntriesAndFoldersOnly) {
  const fs::path folder = work_.folder.Path() / "named";
  ASSERT_TRUE(Extract(work_.output, folder, {"Data/small.txt"}).ok);
  EXPECT_EQ(FolderListing(folder), (std::vector<std::string>{"Data", "Data/small.txt"}));
  ASSERT_TRUE(Extract(work_.output, folder, {"Data/"}).ok);
  EXPECT_EQ(RegularFileCount(folder), 2u) << "both entries below Data, not config.txt";

  const fs::path other = work_.folder.Path() / "other";
  const Outcome missing = Extract(work_.output, other, {"config.txt", "Data/small", "Dat"});
  EXPECT_FALSE(missing.ok);
  EXPECT_NE(missing.err.find("2 problems:\n  Data/small: no such entry or folder"),
            std::string::npos)
      << missing.err;
  EXPECT_FALSE(fs::exists(other)) << "nothing written, not even the folder";
}

TEST_F(DamagedInstaller, EntryThatDeliversMoreThanItsSize) {
  // The reader stops after the chunk that reaches the size, so a short size still reads.
  const fs::path installer =
      WrittenByTheWriter({MakeContentRecord("a.dat", "0123456789"),
                          MakeFixedRecord("b.dat", static_cast<uint32_t>(kStub.size()), 4),
                          MakeContentRecord("config.txt", "1.0.5 = 1.0.4\n")});
  const Outcome verified = Verify(installer);
  EXPECT_FALSE(verified.ok);
  EXPECT_NE(verified.err.find("b.dat: its data holds 10 bytes, but the directory says 4"),
            std::string::npos)
      << verified.err;
}

TEST(NotesEncoding, ConvertsUtf8AndKeepsCodePage936) {
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

TEST(ManifestWarnings, NamesWhatTheInstallerReadsOtherwiseThanWritten) {
  const std::pair<std::string, std::string> cases[] = {
      {"1.0.5 <= 1.0.4\r\nnotes 1.2.3", ""},
      {"1.0.4 = 1.0.5\n", ""},
      {"99999999999 = 1.0.4\n",
       "the patch version's major number 99999999999 is above 255; the installer takes the "
       "version as 255.0.0"},
      {"1.0.5 = 1.300.0\n", "required version's minor number 300 is above 255; the installer "
                            "takes the version as 2.44.0"},
      {"1.0.70000 = 1.0.4\n", "build number 70000 is above 65535"},
      {"1.0.5 <= 1.0.4 extra\nnotes", "text after the required version on the first line, "
                                      "\"extra\"; the installer shows it"},
      {"1.0 = 0.9\n42 notes", "the required version's build number 42 is read from after the "
                              "first line; the installer takes the version as 0.9.42"},
      {"1.0.4 <= 1.0.5\n", "under rule \"<=\" the patch version 1.0.4 is not above the "
                           "required version 1.0.5"},
      {"1.0.5 <= 1.0.5\n", "is not above"},
  };
  for (const auto& [manifest, expected] : cases) {
    const std::vector<std::string> warnings = FindManifestWarnings(manifest);
    if (expected.empty()) {
      EXPECT_TRUE(warnings.empty()) << manifest << ": " << testing::PrintToString(warnings);
    } else {
      ASSERT_EQ(warnings.size(), 1u) << manifest << ": " << testing::PrintToString(warnings);
      EXPECT_NE(warnings[0].find(expected), std::string::npos) << warnings[0];
    }
  }

  Workspace work;
  work.Add("config.txt", "1.0.5 <= 1.0.4 extra\n");
  const Outcome built = Build(work.Options());
  EXPECT_TRUE(built.ok) << "warned, not refused";
  EXPECT_NE(built.err.find("vantis-pack: warning: config.txt: text after"), std::string::npos)
      << built.err;
}

TEST(InstallerProgram, TakesOnlyA32BitGuiProgramWithTheInstallDialog) {
  const auto shape = [](uint16_t machine, uint16_t subsystem,
                        std::vector<std::pair<uint32_t, uint32_t>> resources) {
    ProgramShape result;
    result.machine = machine;
    result.subsystem = subsystem;
    result.resources = std::move(resources);
    return MakeProgram(result);
  };
  const std::pair<std::string, std::string> refused[] = {
      {"MZ", "not a Windows program"},
      {shape(0x01C4, 2, {{5, 100}, {14, 100}}), "not a 32-bit x86 program"},
      {shape(0x8664, 2, {{5, 100}}), "without icon group 100"},
      {shape(0x014C, 3, {{5, 100}, {14, 100}}), "a console program"},
      {shape(0x014C, 2, {{14, 100}}), "without dialog 100"},
      {shape(0x014C, 2, {{5, 101}, {14, 100}}), "without dialog 100"},
      {shape(0x014C, 2, {{5, 100}, {14, 101}}), "without icon group 100"},
  };
  TempFolder folder;
  const fs::path program = folder.Path() / "program.exe";
  std::string reason;
  std::string warning;
  for (const auto& [bytes, why] : refused) {
    WriteFile(program, bytes);
    EXPECT_FALSE(CheckInstallerProgram(program, reason, warning)) << why;
    EXPECT_NE(reason.find(why), std::string::npos) << reason;
  }
  WriteFile(program, kStub);
  EXPECT_TRUE(CheckInstallerProgram(program, reason, warning)) << reason;
  EXPECT_EQ(warning, "");
  // The tests of machines that cannot run 32-bit code pack onto the 64-bit build.
  WriteFile(program, shape(0x8664, 2, {{5, 100}, {14, 100}}));
  EXPECT_TRUE(CheckInstallerProgram(program, reason, warning)) << reason;
  EXPECT_NE(warning.find("the 64-bit build"), std::string::npos);
  for (const fs::path& real : DefaultStubCandidates()) {
    if (fs::exists(real)) {
      EXPECT_TRUE(CheckInstallerProgram(real, reason, warning)) << real << ": " << reason;
    }
  }
}

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
  const Outcome built = Build(options);
  ASSERT_TRUE(built.ok) << built.err;
  EXPECT_EQ(built.err, "vantis-pack: config.txt: converted from UTF-8 to code page 936\n");
}
#endif

// Signing appends a certificate table; the installer and every command read past it.
TEST(PackerSigning, SignedInstallersListVerifyAndExtract) {
  Workspace work;
  WriteFile(work.stub, StubOfLength(3001));
  work.Add("config.txt", kUtf8Manifest);
  work.Add("Data/a.txt", Pattern(5001, 4));
  const Outcome built = Build(work.Options());
  ASSERT_TRUE(built.ok) << built.err;
  const std::string unsigned_ = ReadFile(work.output);
  EXPECT_EQ(unsigned_.size() % 8, 0u) << "signing would pad it";
  Sha256State state;
  UpdateSha256(state, unsigned_.data(), unsigned_.size());
  EXPECT_NE(built.out.find("  SHA-256 " + FormatSha256(FinishSha256(state)) + "\n"),
            std::string::npos) << built.out;
  EXPECT_NE(List(work.output).out.find("\nsignature         not signed\n"), std::string::npos);

  const fs::path signed_ = work.folder.Path() / "signed.exe";
  WriteFile(signed_, SignForTest(unsigned_, 2048));
  const std::string table = "signed, certificate table of 2,048 bytes at byte " +
                            FormatCount(unsigned_.size());
  const Outcome listed = List(signed_);
  ASSERT_TRUE(listed.ok) << listed.err;
  EXPECT_NE(listed.out.find("signature         " + table + "\n"), std::string::npos)
      << listed.out;
  const Outcome json = RunCommand([&](CommandOutput& output, std::string& error) {
    return ListInstaller(signed_, output, error, ReportFormat::kJson);
  });
  EXPECT_NE(json.out.find("\"signature\": {\"signed\": true, \"certificateTableOffset\": " +
                          std::to_string(unsigned_.size()) + ", \"certificateTableLength\": 2048}"),
            std::string::npos)
      << json.out;
  const Outcome verified = Verify(signed_);
  ASSERT_TRUE(verified.ok) << verified.err;
  EXPECT_NE(verified.out.find(": OK, 2 entries"), std::string::npos) << verified.out;
  EXPECT_NE(verified.out.find("; " + table + "\n"), std::string::npos) << verified.out;
  const fs::path extracted = work.folder.Path() / "extracted";
  ASSERT_TRUE(Extract(signed_, extracted).ok);
  EXPECT_EQ(ReadFile(extracted / "Data" / "a.txt"), Pattern(5001, 4));

  // A signed installer program cannot take a package: the signature would break.
  WriteFile(work.stub, SignForTest(StubOfLength(3001), 1024));
  const Outcome refused = Build(work.Options());
  EXPECT_FALSE(refused.ok);
  EXPECT_NE(refused.err.find("stub.exe: is signed (a certificate table of 1,024 bytes); a "
                             "package appended to it would break that signature"),
            std::string::npos) << refused.err;
  EXPECT_EQ(ReadFile(work.output), unsigned_);
}

TEST(PackableName, ConvertsToCodePage936OrSaysWhy) {
  std::string entry;
  std::string reason;
  ASSERT_TRUE(MakeEntryName("\xE5\x9C\xB0\xE5\x9B\xBE/a b.txt", entry, reason));
  EXPECT_EQ(entry, "\xB5\xD8\xCD\xBC/a b.txt");

  const std::pair<std::string, std::string> refused[] = {
      {"Bin/LPT1.dll", "reserved device name"},  {"aux", "reserved device name"},
      {"a/b./c", "ends with a dot"},             {"a<b", "character '<'"},
      {"a|b", "character '|'"},                  {"a*", "character '*'"},
      {"a\"b", "character '\"'"},                {std::string(256, 'n'), "longer than 255"},
      {std::string(200, 'n') + "/" + std::string(59, 'n'), "path longer than 259"},
      {"\xF0\x9F\x98\x80.png", "code page 936"},
  };
  for (const auto& [name, why] : refused) {
    EXPECT_FALSE(MakeEntryName(name, entry, reason)) << name;
    EXPECT_NE(reason.find(why), std::string::npos) << name << ": " << reason;
  }
}

TEST(PackCommandLine, ExitCodesAndHelp) {
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string text;
  } cases[] = {
      {{}, kExitUsage, "usage: vantis-pack COMMAND"},
      {{"--help"}, kExitSuccess, "usage: vantis-pack COMMAND"},
      {{"build", "--help"}, kExitSuccess, "--notes-encoding"},
      {{"help", "extract"}, kExitSuccess, "-C, --directory DIR"},
      {{"verify", "-h"}, kExitSuccess, "usage: vantis-pack verify"},
      {{"pack"}, kExitUsage, "unknown command \"pack\""},
      {{"build", "src"}, kExitUsage, "missing -o OUTPUT.exe"},
      {{"build", "src", "-o"}, kExitUsage, "option -o needs a value"},
      {{"build", "src", "-o", "x", "--key", "abc"}, kExitUsage, "even number"},
      {{"build", "src", "-o", "x", "--key=zz"}, kExitUsage, "not hexadecimal"},
      {{"build", "src", "-o", "x", "--notes-encoding", "latin1"}, kExitUsage, "utf-8, cp936"},
      {{"list"}, kExitUsage, "missing argument"},
      {{"list", "a", "b"}, kExitUsage, "unexpected argument b"},
      {{"extract", "a"}, kExitUsage, "missing -C DIR"},
      {{"verify", "--fast", "a"}, kExitUsage, "unknown option --fast"},
      {{"verify", "/nonexistent/installer.exe"}, kExitFailure, "error: /nonexistent/installer.exe"},
      {{"verify", "--quiet", "/nonexistent/installer.exe"}, kExitFailure, "error: /nonexistent"},
      {{"extract", "/nonexistent.exe", "-C", "d", "Data/a", "b"}, kExitFailure,
       "error: /nonexistent.exe"},
      {{"diff", "old"}, kExitUsage, "missing argument"},
      {{"diff", "old", "new", "-o", "x", "--rule", ">="}, kExitUsage, "--rule takes = or <="},
      {{"--version"}, kExitSuccess, std::string("vantis-pack ") + kPackToolVersion + "\n"},
      {{"build", "src", "-o", "x", "--dry-run=yes"}, kExitUsage, "--dry-run takes no value"},
      {{"build", "src", "-o", "x", "--exclude"}, kExitUsage, "--exclude needs a value"},
  };
  for (const auto& command : cases) {
    std::ostringstream out;
    std::ostringstream err;
    CommandOutput output{out, err, nullptr};
    EXPECT_EQ(RunPackTool(command.arguments, output), command.status)
        << testing::PrintToString(command.arguments);
    EXPECT_NE((out.str() + err.str()).find(command.text), std::string::npos)
        << out.str() << err.str();
  }
}

#ifdef VANTIS_PACK_PROGRAM
// The real program, as a publisher runs it: exit codes and the streams they write to.
int RunProgram(const std::string& arguments, const fs::path& folder, std::string& out,
               std::string& err) {
  const std::string command = std::string(VANTIS_PACK_PROGRAM) + " " + arguments + " >" +
                              (folder / "stdout").string() + " 2>" +
                              (folder / "stderr").string();
  const int status = std::system(command.c_str());
  out = ReadFile(folder / "stdout");
  err = ReadFile(folder / "stderr");
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PackerProgram, BuildsVerifiesAndReportsFailuresThroughExitCodes) {
  Workspace work;
  work.Add("config.txt", kUtf8Manifest);
  work.Add("Data/a.txt", "a");
  const fs::path folder = work.folder.Path();
  std::string out;
  std::string err;
  const std::string build = "build '" + work.source.string() + "' -o '" +
                            work.output.string() + "' --stub '" + work.stub.string() +
                            "' --key " + kKeyHex;
  ASSERT_EQ(RunProgram(build, folder, out, err), 0) << err;
  EXPECT_NE(out.find("built "), std::string::npos);
  EXPECT_NE(err.find("converted from UTF-8"), std::string::npos);
  EXPECT_EQ(err.find('\r'), std::string::npos) << "no progress bar off a terminal";

  EXPECT_EQ(RunProgram("verify '" + work.output.string() + "'", folder, out, err), 0) << err;
  EXPECT_NE(out.find(": OK, 2 entries"), std::string::npos) << out;
  EXPECT_EQ(RunProgram(build + " --quiet", folder, out, err), 0) << err;
  EXPECT_EQ(out + err, "") << "--quiet: neither the report nor the conversion notice";
  EXPECT_EQ(RunProgram("list '" + work.output.string() + "'", folder, out, err), 0) << err;
  EXPECT_NE(out.find("Data/a.txt"), std::string::npos) << out;

  WriteFile(work.output, kStub);
  EXPECT_EQ(RunProgram("verify '" + work.output.string() + "'", folder, out, err), 1);
  EXPECT_NE(err.find("vantis-pack: error: "), std::string::npos) << err;
  EXPECT_EQ(RunProgram("build", folder, out, err), 2);
  EXPECT_NE(err.find("Try \"vantis-pack build --help\""), std::string::npos) << err;
}
#endif

}  // namespace
