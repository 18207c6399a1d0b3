// vantis-pack list, verify and extract: damaged installers are named as such, and nothing
// is written outside the folder extraction is given.

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstddef>

#include "PackTestSupport.h"
#include "FakeSignature.h"
#include "package/format/Crc32c.h"
#include "package/format/EntryEncoding.h"
#include "package/format/EntryStream.h"
#include "package/format/IntegrityBlock.h"
#include "support/PackageFixture.h"
#include "platform/ByteOrder.h"
#include "vantis-pack/writing/Sha256.h"

using namespace packtest;

namespace {

uint32_t LittleEndian32(const std::string& bytes, size_t at) {
  return LoadLittleEndian32(reinterpret_cast<const uint8_t*>(bytes.data()) + at);
}

// Where the directory starts, found as the reader finds it: trailer, then header.
size_t DirectoryOffset(const std::string& installer) {
  const uint32_t headerOffset = LittleEndian32(installer, installer.size() - 4) ^ 0x5C3B;
  const size_t keyLength =
      static_cast<unsigned char>(installer[headerOffset]) |
      static_cast<size_t>(static_cast<unsigned char>(installer[headerOffset + 1])) << 8;
  return LittleEndian32(installer, headerOffset + 2 + keyLength);
}

// A good installer to damage, and installers written field by field with the writer.
class InspectInstaller : public testing::Test {
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

#ifndef _WIN32  // names Windows cannot create

TEST_F(InspectInstaller, CreatesNothingOutsideItsFolder) {
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

#endif

TEST_F(InspectInstaller, TruncatedOrWithoutPackage) {
  const int all = kVerify | kList | kExtract;
  Expect(Damaged(good_.substr(0, good_.size() - 3)), all, "no package found");
  Expect(Damaged(good_.substr(0, good_.size() / 2)), all, "no package found");
  Expect(Damaged(kStub), all, "no package found");
  Expect(work_.folder.Path() / "absent.exe", all, "absent.exe: no such file");
}

TEST_F(InspectInstaller, FlippedByteInTheDirectory) {
  std::string bytes = good_;
  bytes[DirectoryOffset(bytes) + 5] ^= 0x40;  // inside the first record's first block
  Expect(Damaged(bytes), kVerify | kList | kExtract, "no package found");
}

TEST_F(InspectInstaller, FlippedByteInAnEntrysChunkHeaderIsNamed) {
  ASSERT_TRUE(OpenPackage(work_.output.native()));
  const uint32_t bigOffset = FindPackageEntry("Data/big.bin")->offset;
  std::string bytes = good_;
  // The second chunk's plain length: the first chunk still reads, the entry does not, and
  // extraction writes nothing.
  bytes[bigOffset + 8 + kEntryStoredLimit + 2] ^= 0x01;
  Expect(Damaged(bytes), kVerify | kExtract, "Data/big.bin: its data is not as packed");
}

// Without its integrity data (the magic before the trailer gone) an installer is reported
// as carrying none, not as damaged; with a damaged directory, list still shows it and says
// so, while verify and extract refuse it as the installer would.
TEST_F(InspectInstaller, IntegrityDataAbsentOrFindingDamage) {
  std::string unmarked = good_;
  unmarked[unmarked.size() - 5] = 'x';
  const fs::path plain = Damaged(unmarked);
  const Outcome verified = Verify(plain);
  EXPECT_TRUE(verified.ok) << verified.err;
  EXPECT_NE(verified.out.find("no integrity data"), std::string::npos) << verified.out;
  EXPECT_NE(List(plain).out.find("integrity         none"), std::string::npos);

  // The terminator's stored length, which no reader looks at, so the directory still
  // parses: the integrity block's first field is the directory's length.
  const auto* data = reinterpret_cast<const uint8_t*>(good_.data());
  const uint32_t headerOffset = LoadLittleEndian32(data + good_.size() - 4) ^ 0x5C3B;
  const uint32_t directoryOffset =
      LoadLittleEndian32(data + headerOffset + 2 + LoadLittleEndian16(data + headerOffset));
  const uint32_t directoryLength = LoadLittleEndian32(data + good_.size() - 28);
  std::string bytes = good_;
  bytes[directoryOffset + directoryLength - 1] ^= 0x20;
  const fs::path damaged = Damaged(bytes);
  const Outcome listed = List(damaged);
  EXPECT_NE(listed.out.find("integrity         DAMAGED: the directory is not as packed"),
            std::string::npos)
      << listed.out << listed.err;
  Expect(damaged, kVerify | kExtract | (listed.ok ? 0 : kList),
         "the directory is not as packed (its CRC-32C check fails)");
}

TEST_F(InspectInstaller, NamesAndManifestsTheInstallerRefuses) {
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

// Names that pass the installer's rule but that Windows cannot create: the installer would
// stop at them halfway through, so verify names every one, as build would refuse it.
TEST_F(InspectInstaller, NamesWindowsCannotCreateAreRefusedAsBuildRefusesThem) {
  const PackageRecord manifest = MakeContentRecord("config.txt", "1.0.5 = 1.0.4\n");
  const fs::path uncreatable = WrittenByTheWriter(
      {manifest, MakeContentRecord("Data/a?b.txt", "x"), MakeContentRecord("Data/p|q.txt", "x"),
       MakeContentRecord("Data/" + std::string(300, 'n'), "x"),
       MakeContentRecord("Data/" + std::string(120, 'd') + "/" + std::string(140, 'f'), "x"),
       MakeContentRecord("Data/fine.txt", "x")});
  const Outcome verified = Verify(uncreatable);
  EXPECT_FALSE(verified.ok);
  for (const char* expected :
       {"4 problems:\n", "  Data/a?b.txt: character '?'", "  Data/p|q.txt: character '|'",
        "nnn: name longer than 255 bytes", "fff: path longer than 259 bytes"}) {
    EXPECT_NE(verified.err.find(expected), std::string::npos) << expected << "\n" << verified.err;
  }
  EXPECT_EQ(verified.err.find("fine.txt"), std::string::npos) << verified.err;

  // Windows' code page 936 defines every two-byte code, the user-defined and unassigned
  // ones as private-use characters (U+E000 to U+E864): the installer creates such names,
  // so verify passes them and extract writes them, on either system. A byte no code holds
  // is refused by both.
  const fs::path privateUse = WrittenByTheWriter(
      {manifest, MakeContentRecord("Data/\xAA\xA1", "1"), MakeContentRecord("Data/\xA2\xA0", "2"),
       MakeContentRecord("Data/\xFE\xFE", "3"), MakeContentRecord("Data/\xFE\x50", "4")});
  EXPECT_TRUE(Verify(privateUse).ok) << Verify(privateUse).err;
  const fs::path folder = work_.folder.Path() / "private-use";
  ASSERT_TRUE(Extract(privateUse, folder).ok);
  for (const auto& [name, content] :
       {std::pair<const char*, const char*>{"\xEE\x80\x80", "1"}, {"\xEE\x96\x85", "2"},
        {"\xEE\x93\x85", "3"}, {"\xEE\xA0\x95", "4"}}) {
    EXPECT_EQ(ReadFile(folder / "Data" / fs::u8path(name)), content) << name;
  }
  Expect(WrittenByTheWriter({manifest, MakeContentRecord("Data/a\xFF", "x")}),
         kVerify | kExtract, "Data/a\\xFF: not valid code page 936");
}

TEST_F(InspectInstaller, EveryNameUsedAsFileAndFolderIsNamed) {
  const PackageRecord manifest = MakeContentRecord("config.txt", "1.0.5 = 1.0.4\n");
  // \x81\x41 and \x81\x61 are two characters of code page 936, not letters to fold.
  const PackageRecord distinct[] = {MakeContentRecord("\x81\x41", "x"),
                                    MakeContentRecord("\x81\x61/b.dat", "x")};
  const fs::path clashing = WrittenByTheWriter(
      {manifest, distinct[0], distinct[1], MakeContentRecord("Data/a", "x"),
       MakeContentRecord("Data/a/b.dat", "x"), MakeContentRecord("Maps/A", "x"),
       MakeContentRecord("maps\\a\\b.dat", "x"),
       // Д and д (code page 936 A7 A5, A7 D5), which Windows takes for one letter.
       MakeContentRecord("Data/\xA7\xA5", "x"), MakeContentRecord("Data/\xA7\xD5/b.dat", "x")});
  const Outcome verified = Verify(clashing);
  EXPECT_FALSE(verified.ok);
  for (const char* expected :
       {"3 problems:\n", "  Data/a: is a file, but Data/a/b.dat needs a folder",
        "  Maps/A: is a file, but maps\\a\\b.dat needs a folder",
        "  Data/\xD0\x94: is a file, but Data/\xD0\xB4/b.dat needs a folder"}) {
    EXPECT_NE(verified.err.find(expected), std::string::npos) << verified.err;
  }
  EXPECT_TRUE(Verify(WrittenByTheWriter({manifest, distinct[0], distinct[1]})).ok);
}

TEST_F(InspectInstaller, JsonGivesTheManifestEntriesAndVerdict) {
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
  EXPECT_NE(verified.out.find("\"verified\": true, \"problem\": null,\n \"damagedEntries\": []}\n"),
            std::string::npos);
  EXPECT_NE(listed.out.find("\"integrity\": {\"present\": true, \"frameIntact\": true, "
                            "\"directoryIntact\": true}"),
            std::string::npos);

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

// Strict UTF-8 as RFC 3629 defines it, checked on the decoded code points rather than on
// byte ranges as the writer does: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xC0 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3
                                                                       : lead < 0xF8 ? 4 : 0;
    if (length == 0 || text.size() - i < length) return false;
    uint32_t point = length == 1 ? lead : lead & (0x7Fu >> length);
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = point << 6 | (next & 0x3Fu);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

TEST_F(InspectInstaller, JsonIsUtf8AndTellsEveryNameApart) {
  // 0x81 opens a two-byte character that nothing ends, so "a\x81" does not decode; the
  // second name is the text that the old escape showed for it.
  const fs::path written = WrittenByTheWriter(
      {MakeContentRecord("config.txt", "1.0.5 = 1.0.4\nbad \x81 notes"),
       MakeContentRecord("a\x81", "x"), MakeContentRecord("a\\x81", "x"),
       MakeContentRecord("\xD6\xD0.txt", "x")});
#ifdef _WIN32
  const fs::path installer = written;
  const fs::path absent = work_.folder.Path() / "absent.exe";
#else
  const fs::path installer = written.parent_path() / "inst\xFF.exe";
  fs::rename(written, installer);
  const fs::path absent = work_.folder.Path() / "absent\xFE.exe";
#endif
  const auto json = [](const fs::path& path, bool verify) {
    return RunCommand([&](CommandOutput& output, std::string& error) {
      return verify ? VerifyInstaller(path, output, error, ReportFormat::kJson)
                    : ListInstaller(path, output, error, ReportFormat::kJson);
    });
  };
  const Outcome listed = json(installer, false);
  ASSERT_TRUE(listed.ok) << listed.err;
  EXPECT_TRUE(IsUtf8(listed.out)) << listed.out;
  for (const std::string& expected :
       {std::string("{\"name\": \"a\xEF\xBF\xBD\", \"nameBytes\": \"6181\", \"size\": 1,"),
        std::string("{\"name\": \"a\\\\x81\", \"size\": 1,"),
        std::string("{\"name\": \"\xE4\xB8\xAD.txt\", \"size\": 1,"),
        std::string("\"notes\": \"bad \xEF\xBF\xBD notes\", \"notesBytes\": \"6261642081206e6f746573\"")}) {
    EXPECT_NE(listed.out.find(expected), std::string::npos) << expected << "\n" << listed.out;
  }
#ifndef _WIN32
  EXPECT_NE(listed.out.find("inst\xEF\xBF\xBD.exe\", \"installerBytes\": \""), std::string::npos)
      << listed.out;
  EXPECT_NE(listed.out.find("696e7374ff2e657865\",\n"), std::string::npos) << listed.out;
#endif
  const Outcome verified = json(installer, true);
  EXPECT_TRUE(IsUtf8(verified.out)) << verified.out;
  const Outcome missing = json(absent, true);
  EXPECT_FALSE(missing.ok);
  EXPECT_TRUE(IsUtf8(missing.out)) << missing.out;
}

TEST_F(InspectInstaller, ExtractsTheNamedEntriesAndFoldersOnly) {
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

TEST_F(InspectInstaller, EntryThatDeliversMoreThanItsSize) {
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

// Stored forms that pass their integrity check but do not decode, as only a faulty packer
// writes them: verify inflates and walks each one and names it; list shows what it can.
TEST_F(InspectInstaller, VerifyDecodesEveryCompressedAndDeltaEntry) {
  const std::string text(3000, 't');
  uLongf deflatedLength = compressBound(static_cast<uLong>(text.size()));
  std::string deflated(deflatedLength, '\0');
  ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(&deflated[0]), &deflatedLength,
                      reinterpret_cast<const Bytef*>(text.data()),
                      static_cast<uLong>(text.size()), 9),
            Z_OK);
  deflated.resize(deflatedLength);
  const auto stored = [](EntryKind kind, uint32_t installedChecksum, const std::string& body) {
    EntryEncoding encoding;
    encoding.kind = kind;
    encoding.sourceSize = 100;
    encoding.installedSize = 3000;
    encoding.installedChecksum = installedChecksum;
    return EncodeEntryHeader(encoding) + body;
  };
  const uint32_t checksum = Crc32c(text.data(), text.size());
  std::vector<PackageRecord> records = {
      MakeContentRecord("config.txt", "1.0.5 = 1.0.4\n"),
      MakeContentRecord("good.txt", stored(EntryKind::kCompressed, checksum, deflated)),
      MakeContentRecord("other.txt", stored(EntryKind::kCompressed, checksum ^ 1, deflated)),
      MakeContentRecord("cut.txt", stored(EntryKind::kCompressed, checksum,
                                          deflated.substr(0, deflated.size() - 5))),
      MakeContentRecord("delta.dat", stored(EntryKind::kDelta, checksum, "VtDelta\1junk")),
      MakeContentRecord("kind.dat", "x")};
  for (const char* name : {"good.txt", "other.txt", "cut.txt"}) {
    for (PackageRecord& record : records) record.aux2 = record.name == name ? 1 : record.aux2;
  }
  records[4].aux2 = 2;
  records[5].aux2 = 3;
  PackageLayout layout;
  layout.host = kStub;
  layout.key = "a key";
  layout.records = records;
  layout.integrity = true;
  layout.integrityFeatures = kFeatureEntryKinds;
  const fs::path installer = Damaged(BuildPackage(layout));

  const Outcome verified = Verify(installer);
  EXPECT_FALSE(verified.ok);
  for (const char* expected :
       {"4 problems:", "cut.txt: its compressed data does not decode to the 3,000 bytes",
        "delta.dat: its delta data does not decode", "kind.dat: its record names a kind",
        "other.txt: its compressed data does not decode"}) {
    EXPECT_NE(verified.err.find(expected), std::string::npos) << expected << "\n" << verified.err;
  }
  EXPECT_EQ(verified.err.find("good.txt"), std::string::npos) << verified.err;
  const Outcome listed = List(installer);
  ASSERT_TRUE(listed.ok) << listed.err;
  EXPECT_NE(listed.out.find("at least 12,014 bytes installed (1 entries whose size cannot be "
                            "read)"),
            std::string::npos)
      << listed.out;
  EXPECT_NE(listed.out.find(" ? ?             0    3"),
            std::string::npos)
      << listed.out;
}

// Signing appends a certificate table; the installer and every command read past it.
TEST_F(InspectInstaller, SignedInstallersListVerifyAndExtract) {
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

}  // namespace
