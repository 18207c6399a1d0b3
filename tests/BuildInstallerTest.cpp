// vantis-pack build: installers built from a folder must read back, through the installer's
// own reader, exactly as the folder was; everything the installer or Windows would refuse
// must be refused before an output file appears.

#include <gtest/gtest.h>

#include "PackTestSupport.h"
#include "package/format/EntryStream.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace packtest;

namespace {

TEST(BuildInstaller, RoundTripsATreeThroughListVerifyAndExtract) {
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
        std::string("integrity         CRC-32C of every entry"),
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

TEST(BuildInstaller, SameTreeAndKeyGiveTheSameBytes) {
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

TEST(BuildInstaller, RefusesWhatTheInstallerOrWindowsCannotTakeAndLeavesNoFile) {
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
      // Windows folds every letter, not A-Z alone: Д and д, full-width Ａ and ａ.
      {"Cyrillic case twins",
       {{"config.txt", manifest}, {"Data/\xD0\x94.txt", "1"}, {"Data/\xD0\xB4.txt", "2"}},
       "only in letter case"},
      {"full-width file and folder",
       {{"config.txt", manifest}, {"Data/\xEF\xBC\xA1", "1"}, {"Data/\xEF\xBD\x81/x", "2"}},
       "is a file, but Data/\xEF\xBD\x81 is a folder"},
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

#ifndef _WIN32  // links, pipes, sparse files and names Windows cannot create

TEST(BuildInstaller, ReportsEveryProblemInOneRunUpToACap) {
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

TEST(BuildInstaller, ExcludedFilesStayOutAndADryRunWritesNothing) {
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

TEST(BuildInstaller, FollowsLinksInsideTheTreeOnly) {
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

// As root, a device given as the output would be replaced by a regular file. The cases
// here need no root: a pipe, a link (here to /dev/null) and a folder.
TEST(BuildInstaller, ReplacesOnlyARegularFile) {
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

// Sparse files and dry runs: nothing is read or written. The stub's length moves the
// installer's length, which is always a multiple of 8, ready for signing.
TEST(BuildInstaller, RefusesInstallersLongerThanTheInstallerCanOpen) {
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

}  // namespace
