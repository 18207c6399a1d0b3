// SHA-256 against the examples published with FIPS 180-2 and the NIST test vectors, whole
// and fed at every split, so that the block buffering cannot drop or repeat a byte.

#include "vantis-pack/writing/Sha256.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "InstructionSetSkip.h"

namespace {

std::string Digest(const std::string& message) {
  Sha256State state;
  UpdateSha256(state, message.data(), message.size());
  return FormatSha256(FinishSha256(state));
}

struct Vector {
  std::string message;
  const char* digest;
};

const Vector kVectors[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlm"
     "nopqrsmnopqrstnopqrstu",
     "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Sha256, PublishedVectors) {
  for (const Vector& vector : kVectors) {
    EXPECT_EQ(Digest(vector.message), vector.digest) << vector.message.size() << " bytes";
  }
}

TEST(Sha256, SameDigestAtEverySplit) {
  const Vector& vector = kVectors[3];  // 112 bytes: the padding spills into a second block
  for (size_t split = 0; split <= vector.message.size(); ++split) {
    Sha256State state;
    UpdateSha256(state, vector.message.data(), split);
    UpdateSha256(state, vector.message.data() + split, vector.message.size() - split);
    EXPECT_EQ(FormatSha256(FinishSha256(state)), vector.digest) << "split at " << split;
  }
}

// The SHA-extensions path against the portable one, block counts 0 to 40 and at an odd
// address; the published vectors above ran on whichever this processor takes.
TEST(Sha256, PathsAgreeOnEveryBlockCount) {
  if (!IsSha256PathAvailable(Sha256Path::kShaExtensions)) {
    SKIP_WITHOUT_INSTRUCTIONS("the SHA extensions");
  }
  std::mt19937 rng(15);
  std::vector<uint8_t> data(64 * 40 + 1);
  for (uint8_t& byte : data) byte = static_cast<uint8_t>(rng());
  for (size_t blockCount = 0; blockCount <= 40; ++blockCount) {
    std::array<uint32_t, 8> portable = Sha256State().hash;
    std::array<uint32_t, 8> extensions = portable;
    CompressSha256Blocks(Sha256Path::kPortable, portable, data.data() + 1, blockCount);
    CompressSha256Blocks(Sha256Path::kShaExtensions, extensions, data.data() + 1, blockCount);
    EXPECT_EQ(extensions, portable) << blockCount << " blocks";
  }
}

}  // namespace
