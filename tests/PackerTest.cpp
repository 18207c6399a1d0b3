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
#include "packer/BuildInstaller.h"
#include "packer/InspectInstaller.h"
#include "packer/NotesEncoding.h"
#include "packer/NotesLayout.h"
#include "packer/PackCommandLine.h"
#include "packer/PackableName.h"
#include "packer/PackageWriter.h"
#include "packer/Sha256.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

namespace {

const std::string kKeyHex = "00112233445566778899aabbccddeeff";
const std::string kStub = "MZ stands in for the installer program";
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
Outcome Run(Command command) {
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
  return Run([&](CommandOutput& output, std::string& error) {
    return BuildInstaller(options, output, error);
  });
}
Outcome List(const fs::path& installer) {
  return Run([&](CommandOutput& output, std::string& error) {
    return ListInstaller(installer, output, error);
  });
}
Outcome Verify(const fs::path& installer) {
  return Run([&](CommandOutput& output, std::string& error) {
    return VerifyInstaller(installer, output, error);
  });
}
Outcome Extract(const fs::path& installer, const fs::path& folder) {
  return Run([&](CommandOutput& output, std::string& error) {
    return ExtractInstaller(installer, folder, output, error);
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
       "config.txt: the rule must be \"=\" or \"<=\"; read patch version 1.0.5, rule \">=\", "
       "required version 1.0.4"},
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

#ifndef _WIN32
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

// Sparse files: the limits are checked before a byte is read, so nothing is encrypted.
TEST(PackerBuild, RefusesPackagesPastTheFormatsLimits) {
  const uint64_t twoGiB = uint64_t{1} << 31;
  const struct {
    uint64_t firstSize;
    uint64_t secondSize;
    std::string message;
  } cases[] = {
      {uint64_t{1} << 32, 1, "a.bin: 4,294,967,296 bytes; an entry holds at most 4,294,967,295"},
      {twoGiB, twoGiB, "b.bin: its data would start at byte 2,147,"},
      {twoGiB - 65536, twoGiB + 65536, "must stay below 4 GiB"},
  };
  for (const auto& limit : cases) {
    Workspace work;
    work.Add("config.txt", "1.0.5 = 1.0.4\n");
    work.Add("a.bin", "");
    work.Add("b.bin", "");
    fs::resize_file(work.source / "a.bin", limit.firstSize);
    fs::resize_file(work.source / "b.bin", limit.secondSize);
    const Outcome outcome = Build(work.Options());
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.err.find(limit.message), std::string::npos) << outcome.err;
    EXPECT_EQ(FolderListing(work.output.parent_path()).size(), 0u);
  }
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
         "config.txt: the rule must be \"=\" or \"<=\"; read patch version 1.0.5, rule \"==\"");
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
  WriteFile(work.stub, MakePeHost(3001));
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
  const Outcome verified = Verify(signed_);
  ASSERT_TRUE(verified.ok) << verified.err;
  EXPECT_NE(verified.out.find(": OK, 2 entries"), std::string::npos) << verified.out;
  EXPECT_NE(verified.out.find("; " + table + "\n"), std::string::npos) << verified.out;
  const fs::path extracted = work.folder.Path() / "extracted";
  ASSERT_TRUE(Extract(signed_, extracted).ok);
  EXPECT_EQ(ReadFile(extracted / "Data" / "a.txt"), Pattern(5001, 4));

  // A signed installer program cannot take a package: the signature would break.
  WriteFile(work.stub, SignForTest(MakePeHost(3001), 1024));
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
