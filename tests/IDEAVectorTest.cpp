#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "InstructionSetSkip.h"
#include "crypto/IDEABlocks.h"

// The vector paths against the scalar one, with encryption and decryption schedules, which
// the published vectors and an independent encryptor pin down (IDEADecryptorTest.cpp).
// Batches, the narrower path after them and the scalar tail all meet at lengths that are
// not multiples of a batch, so every length is tried; alignment matters only to loads and
// stores, so every offset is.

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxBlocks = 640;  // five of the largest batch: four AVX-512 vectors

Bytes RandomBytes(std::mt19937& rng, size_t length) {
  Bytes bytes(length);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(rng());
  return bytes;
}

// Input with every eighth word 0 on average, so that 0 reaches the multiplications
// (as 2^16) far more often than random words would make it.
Bytes InputWithZeroWords(std::mt19937& rng, size_t blockCount) {
  Bytes bytes = RandomBytes(rng, 8 * blockCount);
  for (size_t i = 0; i < bytes.size(); i += 2) {
    if (rng() % 8 == 0) bytes[i] = bytes[i + 1] = 0;
  }
  return bytes;
}

// Random keys, keys with some zero words (zero words become zero multiplicative subkeys,
// the words that stand for 2^16) and the all-zero key, whose subkeys are all 0.
std::vector<Bytes> TestKeys() {
  std::mt19937 rng(7);
  std::vector<Bytes> keys = {Bytes(16, 0)};
  for (int i = 0; i < 3; ++i) keys.push_back(RandomBytes(rng, 16));
  for (int zeroWords = 1; zeroWords <= 6; ++zeroWords) {
    Bytes key = RandomBytes(rng, 16);
    for (int i = 0; i < zeroWords; ++i) {
      const size_t word = rng() % 8;
      key[2 * word] = key[2 * word + 1] = 0;
    }
    keys.push_back(key);
  }
  return keys;
}

// Both directions' schedules: their multiplicative keys differ, and so do their zero keys.
std::vector<IDEASchedule> Schedules(const Bytes& key) {
  std::vector<IDEASchedule> schedules(2);
  MakeIDEAEncryptionSchedule(key.data(), static_cast<uint32_t>(key.size()), schedules[0]);
  MakeIDEADecryptionSchedule(key.data(), static_cast<uint32_t>(key.size()), schedules[1]);
  return schedules;
}

class IDEAVectorPath : public testing::TestWithParam<IDEAPath> {
 protected:
  void SetUp() override {
    if (!IsIDEAPathAvailable(GetParam())) SKIP_WITHOUT_INSTRUCTIONS("the path");
  }
};

TEST_P(IDEAVectorPath, MatchesScalarAtEveryLengthAndAlignment) {
  std::mt19937 rng(8);
  int keysWithZeroMultiplier = 0;
  for (const Bytes& key : TestKeys()) {
    for (const IDEASchedule& schedule : Schedules(key)) {
      keysWithZeroMultiplier += schedule.hasZeroMultiplier ? 1 : 0;
      const Bytes source = InputWithZeroWords(rng, kMaxBlocks);
      Bytes expected(source.size());
      CryptIDEABlocks(IDEAPath::kScalar, schedule, source.data(), expected.data(), kMaxBlocks);

      for (size_t blocks = 0; blocks <= kMaxBlocks; ++blocks) {
        const size_t length = 8 * blocks;
        const size_t inputOffset = (blocks + key[0]) % 32;
        const size_t outputOffset = (5 * blocks + 3) % 32;
        SCOPED_TRACE(testing::Message() << "blocks " << blocks << ", offsets " << inputOffset
                                        << " and " << outputOffset);
        // Guard bytes around the output catch a store past either end.
        Bytes input(length + 64, 0x5A);
        Bytes output(length + 64, 0xA5);
        std::copy(source.begin(), source.begin() + static_cast<ptrdiff_t>(length),
                  input.begin() + static_cast<ptrdiff_t>(inputOffset));
        CryptIDEABlocks(GetParam(), schedule, input.data() + inputOffset,
                        output.data() + outputOffset, blocks);
        Bytes wanted(length + 64, 0xA5);
        std::copy(expected.begin(), expected.begin() + static_cast<ptrdiff_t>(length),
                  wanted.begin() + static_cast<ptrdiff_t>(outputOffset));
        ASSERT_EQ(output, wanted);

        CryptIDEABlocks(GetParam(), schedule, input.data() + inputOffset,
                        input.data() + inputOffset, blocks);
        ASSERT_TRUE(std::equal(input.begin() + static_cast<ptrdiff_t>(inputOffset),
                               input.begin() + static_cast<ptrdiff_t>(inputOffset + length),
                               expected.begin()));
      }
    }
  }
  EXPECT_GE(keysWithZeroMultiplier, 6) << "the keys no longer reach the zero-key kernel";
}

// Every pair of input and output offsets, for a length that passes through batches of four
// vectors and of one, on both vector paths, and the scalar tail.
TEST_P(IDEAVectorPath, MatchesScalarAtEveryPairOfOffsets) {
  std::mt19937 rng(9);
  constexpr size_t kBlocks = 64 + 16 + 8 + 7;
  const IDEASchedule schedule = Schedules(RandomBytes(rng, 16))[0];
  const Bytes source = InputWithZeroWords(rng, kBlocks);
  Bytes expected(source.size());
  CryptIDEABlocks(IDEAPath::kScalar, schedule, source.data(), expected.data(), kBlocks);

  for (size_t inputOffset = 0; inputOffset < 32; ++inputOffset) {
    Bytes input(source.size() + 32);
    std::copy(source.begin(), source.end(),
              input.begin() + static_cast<ptrdiff_t>(inputOffset));
    for (size_t outputOffset = 0; outputOffset < 32; ++outputOffset) {
      Bytes output(source.size() + 32);
      CryptIDEABlocks(GetParam(), schedule, input.data() + inputOffset,
                      output.data() + outputOffset, kBlocks);
      ASSERT_TRUE(std::equal(expected.begin(), expected.end(),
                             output.begin() + static_cast<ptrdiff_t>(outputOffset)))
          << "offsets " << inputOffset << " and " << outputOffset;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(IDEABlocks, IDEAVectorPath,
                         testing::Values(IDEAPath::kSSE2, IDEAPath::kAVX2, IDEAPath::kAVX512),
                         [](const testing::TestParamInfo<IDEAPath>& param) {
                           return std::string(IDEAPathName(param.param));
                         });

}  // namespace
