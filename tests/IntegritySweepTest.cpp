// Damage to an installer that vantis-pack builds: every byte of its directory, header,
// integrity block and trailer flipped three ways, and flips spread over its entry data.
// Each damaged installer is refused by verify, or extracts byte for byte as packed: the
// integrity data leaves no change that reads back as something else. (A flip in the
// integrity block's magic leaves an installer that carries no integrity data, and nothing
// else changed, so it reads back as packed.)

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "PackTestSupport.h"
#include "platform/ByteOrder.h"

namespace {

using namespace packtest;

struct Tally {
  size_t refused = 0;
  size_t exact = 0;
  size_t changed = 0;
};

class IntegritySweep : public testing::Test {
 protected:
  void SetUp() override {
    files_ = {{"config.txt", kUtf8Manifest},
              {"Bin/Vantis.dll", Pattern(9000, 1)},
              {"Data/maps/a.map", Pattern(3001, 2)},
              {"Data/maps/b.map", Pattern(700, 3)},
              {"Data/empty.flag", ""},
              {"readme.txt", "patch notes\n"}};
    for (const auto& [name, content] : files_) work_.Add(name, content);
    ASSERT_TRUE(Build(work_.Options()).ok);
    good_ = ReadFile(work_.output);
    expected_ = Extracted(work_.output);
    ASSERT_EQ(expected_.size(), files_.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(good_.data());
    const uint32_t headerOffset = LoadLittleEndian32(bytes + good_.size() - 4) ^ 0x5C3B;
    const uint16_t keyLength = LoadLittleEndian16(bytes + headerOffset);
    directoryOffset_ = LoadLittleEndian32(bytes + headerOffset + 2 + keyLength);
  }

  // The extracted tree, or empty when extraction fails.
  std::map<std::string, std::string> Extracted(const fs::path& installer) {
    const fs::path folder = work_.folder.Path() / "extracted";
    fs::remove_all(folder);
    std::map<std::string, std::string> tree;
    if (!Extract(installer, folder).ok) return tree;
    for (const std::string& name : FolderListing(folder)) {
      if (fs::is_regular_file(folder / name)) tree[name] = ReadFile(folder / name);
    }
    return tree;
  }

  void Play(size_t position, uint8_t mask, Tally& tally) {
    std::string bytes = good_;
    bytes[position] = static_cast<char>(bytes[position] ^ mask);
    const fs::path damaged = work_.folder.Path() / "damaged.exe";
    WriteFile(damaged, bytes);
    if (!Verify(damaged).ok) {
      ++tally.refused;
      return;
    }
    if (Extracted(damaged) == expected_) {
      ++tally.exact;
      return;
    }
    ++tally.changed;
    ADD_FAILURE() << "byte " << position << " flipped with " << int{mask}
                  << " passes verify but extracts other files";
  }

  static void Print(const char* what, const Tally& tally) {
    std::printf("[integrity sweep] %-34s %5zu refused, %3zu exact, %zu changed\n", what,
                tally.refused, tally.exact, tally.changed);
  }

  Workspace work_;
  std::map<std::string, std::string> files_;
  std::string good_;
  std::map<std::string, std::string> expected_;
  uint32_t directoryOffset_ = 0;
};

TEST_F(IntegritySweep, EveryFlipInTheStructureIsRefusedOrReadsBackAsPacked) {
  Tally tally;
  for (size_t position = directoryOffset_; position < good_.size(); ++position) {
    for (uint8_t mask : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xFF}}) Play(position, mask, tally);
  }
  Print("directory to trailer, 3 masks", tally);
  // Only the magic's 8 bytes and the padding before the header reference nothing.
  EXPECT_LE(tally.exact, 3u * (8 + 7));
}

TEST_F(IntegritySweep, FlipsInEntryDataAreRefused) {
  std::mt19937 rng(21);
  const size_t dataStart = kStub.size();
  Tally tally;
  for (int i = 0; i < 2000; ++i) {
    const size_t position = dataStart + rng() % (directoryOffset_ - dataStart);
    Play(position, static_cast<uint8_t>(1u + rng() % 255u), tally);
  }
  Print("entry data, 2000 flips", tally);
  EXPECT_EQ(tally.refused, 2000u);
}

}  // namespace
