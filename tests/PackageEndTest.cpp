// Where the package ends: at the end of an unsigned file, and before the padding and the
// certificate table of a signed one, whatever zero bytes the trailer itself ends with.
// Security entries that do not describe such a table must leave the file unsigned.

#include "package/format/PackageEnd.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeSignature.h"
#include "TempFile.h"
#include "package/PackageContainer.h"
#include "support/PackageFixture.h"

namespace {

PackageEnd EndOf(const std::string& bytes) {
  TempFile temp(bytes);
  ScopedFile file(OpenFileForSharedRead(temp.Native()));
  EXPECT_TRUE(file.IsOpen());
  return FindPackageEnd(file.Get(), static_cast<uint32_t>(bytes.size()));
}

bool ReadsAsPackage(const std::string& bytes, DirectoryMap& directory) {
  TempFile temp(bytes);
  ScopedFile file(OpenFileForSharedRead(temp.Native()));
  PackageVolume volume;
  return ReadPackageHeader(volume, file.Get(), directory) && volume.key == "end key";
}

std::string Installer(size_t hostLength) {
  PackageLayout layout;
  layout.host = MakePeHost(hostLength);
  layout.key = "end key";
  layout.records = {MakeContentRecord("config.txt", "1.0.5 = 1.0.4"),
                    MakeContentRecord("Data/a.dat", std::string(50, 'a'))};
  return BuildPackage(layout);
}

void ExpectUnsigned(const std::string& bytes) {
  const PackageEnd end = EndOf(bytes);
  EXPECT_EQ(end.endOffset, bytes.size());
  EXPECT_EQ(end.certificateTableOffset, 0u);
  EXPECT_EQ(end.certificateTableLength, 0u);
}

TEST(PackageEnd, UnsignedFilesEndAtTheirEnd) {
  ExpectUnsigned(Installer(1000));  // a PE whose security entry is empty
  ExpectUnsigned("MZ");
  ExpectUnsigned(std::string(1, '\0'));
  PackageLayout plain;
  plain.host = "not a program";
  plain.key = "k";
  ExpectUnsigned(BuildPackage(plain));
}

// Below 64 KiB the trailer ends in two zero bytes, below 16 MiB in one; every padding
// length from 0 to 7 with each.
TEST(PackageEnd, SignedPackagesEndBeforePaddingAndTable) {
  for (const size_t base : {size_t{1000}, size_t{70000}}) {
    for (size_t extra = 0; extra < 8; ++extra) {
      const std::string unsigned_ = Installer(base + extra);
      const std::string signed_ = SignForTest(unsigned_, 1040);
      SCOPED_TRACE("unsigned length " + std::to_string(unsigned_.size()));
      const PackageEnd end = EndOf(signed_);
      EXPECT_EQ(end.endOffset, unsigned_.size());
      EXPECT_EQ(end.certificateTableOffset, signed_.size() - 1040);
      EXPECT_EQ(end.certificateTableLength, 1040u);

      DirectoryMap expected;
      DirectoryMap read;
      ASSERT_TRUE(ReadsAsPackage(unsigned_, expected));
      ASSERT_TRUE(ReadsAsPackage(signed_, read));
      EXPECT_EQ(read.size(), expected.size());
      EXPECT_EQ(read.at("Data/a.dat").offset, expected.at("Data/a.dat").offset);
    }
  }
}

TEST(PackageEnd, HostileSecurityEntriesCountAsNoTable) {
  const std::string signed_ = SignForTest(Installer(1003));
  const auto size = static_cast<uint32_t>(signed_.size());
  const uint32_t table = size - 1024;
  struct Entry {
    const char* what;
    uint32_t offset;
    uint32_t length;
  };
  const std::vector<Entry> entries = {
      {"past the file", size + 8, 1024},
      {"ends before the file's end", table, 1016},
      {"ends after the file's end", table, 1032},
      {"wraps around 32 bits onto the end", 0xFFFFFFF8u, size + 8},
      {"misaligned", table + 4, 1020},
      {"too short for a certificate's header", size, 0},
      {"inside the headers", 8, size - 8},
  };
  for (const Entry& entry : entries) {
    SCOPED_TRACE(entry.what);
    std::string bytes = signed_;
    SetSecurityEntry(bytes, entry.offset, entry.length);
    ExpectUnsigned(bytes);
  }

  struct HeaderDamage {
    const char* what;
    size_t at;
    uint32_t value;
    size_t width;
  };
  const std::vector<HeaderDamage> damages = {
      {"PE header past the file", 0x3C, 0xFFFFFFF0u, 4},
      {"PE header at the file's last bytes", 0x3C, size - 10, 4},
      {"PE header at the file's start", 0x3C, 0, 4},
      {"no PE signature", fake_pe::kPeOffset, 0x4550 + 1, 4},
      {"unknown optional header", fake_pe::kOptionalHeader, 0x107, 2},
      {"optional header too short for the entry", fake_pe::kPeOffset + 20, 130, 2},
      {"only four data directories", fake_pe::kOptionalHeader + 92, 4, 4},
  };
  for (const HeaderDamage& damage : damages) {
    SCOPED_TRACE(damage.what);
    std::string bytes = signed_;
    if (damage.width == 2) {
      fake_pe::Store16(bytes, damage.at, damage.value);
    } else {
      fake_pe::Store32(bytes, damage.at, damage.value);
    }
    ExpectUnsigned(bytes);
  }

  for (const size_t cut : {size_t{1}, size_t{8}, size_t{1024}, signed_.size() - 100}) {
    ExpectUnsigned(signed_.substr(0, signed_.size() - cut));
  }
}

}  // namespace
