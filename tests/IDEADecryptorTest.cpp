#include <gtest/gtest.h>

#include "IDEAReference.h"
#include "InstructionSetSkip.h"
#include "TestBytes.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "crypto/IDEABlocks.h"
#include "crypto/IDEADecryptor.h"
#include "crypto/RC2Decryptor.h"
#include "crypto/IDEAEncryption.h"

namespace {

Bytes DecryptIDEA(const Bytes& key, const Bytes& input) {
  IDEADecryptor decryptor;
  decryptor.SetKey(key.data(), static_cast<uint32_t>(key.size()));
  return Decrypt(decryptor, input);
}

struct IDEAVector {
  const char* source;
  const char* key;
  const char* plaintext;
  const char* ciphertext;
};

// The all-zero key makes every subkey 0, the word that stands for 2^16: those vectors
// check the inverse of 0 and 0 * 0 = 1. The zero plaintext words of the others check a
// zero operand against ordinary subkeys.
const IDEAVector kIDEAVectors[] = {
    // X. Lai, "On the Design and Security of Block Ciphers", ETH Series in Information
    // Processing vol. 1 (1992): the worked example with key 0001 0002 ... 0008.
    {"Lai 1992", "00010002000300040005000600070008", "0000000100020003", "11FBED2B01986DE5"},
    // NESSIE block cipher test vectors, Idea-128-64.verified.test-vectors.
    {"NESSIE set 1 #0", "80000000000000000000000000000000", "0000000000000000", "B1F5F7F87901370F"},
    {"NESSIE set 1 #1", "40000000000000000000000000000000", "0000000000000000", "B3927DFFB6358626"},
    {"NESSIE set 1 #127", "00000000000000000000000000000001", "0000000000000000",
     "C57ADBDE27BC26CF"},
    {"NESSIE set 2 #0", "00000000000000000000000000000000", "8000000000000000", "8001000180008000"},
    {"NESSIE set 2 #1", "00000000000000000000000000000000", "4000000000000000", "C00180014000C000"},
    {"NESSIE set 3 #0", "00000000000000000000000000000000", "0000000000000000", "0001000100000000"},
    {"NESSIE set 3 #1", "01010101010101010101010101010101", "0101010101010101", "E3F8AFF7A3795615"},
    {"NESSIE set 4 #0", "000102030405060708090A0B0C0D0E0F", "0011223344556677", "F526AB9A62C0D258"},
    {"NESSIE set 4 #1", "2BD6459F82C5B300952C49104881FF48", "EA024714AD5C4D84", "C8FB51D3516627A8"},
    {"NESSIE set 5 #0", "80000000000000000000000000000000", "78071EE87F0130E8", "0000000000000000"},
    {"NESSIE set 8 #0", "000102030405060708090A0B0C0D0E0F", "DB2D4A92AA68273F", "0011223344556677"},
    {"NESSIE set 8 #1", "2BD6459F82C5B300952C49104881FF48", "F129A6601EF62A47", "EA024714AD5C4D84"},
};

TEST(IDEADecryptor, MatchesPublishedVectors) {
  for (const IDEAVector& vector : kIDEAVectors) {
    SCOPED_TRACE(vector.source);
    const Bytes key = FromHex(vector.key);
    const Bytes plaintext = FromHex(vector.plaintext);
    const Bytes ciphertext = FromHex(vector.ciphertext);
    EXPECT_EQ(DecryptIDEA(key, ciphertext), plaintext);
    EXPECT_EQ(EncryptIDEAReference(key, plaintext), ciphertext);
  }
}

// The same vectors through each path on its own, both ways. Each input fills 95 blocks: on
// the AVX2 path a batch of four vectors (64 blocks) and one of a single vector (16), then a
// single SSE2 vector (8) and the scalar tail (7). Every block must come out as expected.
class IDEABlocksPath : public testing::TestWithParam<IDEAPath> {};

TEST_P(IDEABlocksPath, MatchesPublishedVectorsBothWays) {
  if (!IsIDEAPathAvailable(GetParam())) SKIP_WITHOUT_INSTRUCTIONS("the path");
  constexpr size_t kBlocks = 64 + 16 + 8 + 7;
  const auto check = [](const IDEASchedule& schedule, const Bytes& in, const Bytes& out) {
    Bytes data;
    for (size_t i = 0; i < kBlocks; ++i) data.insert(data.end(), in.begin(), in.end());
    CryptIDEABlocks(GetParam(), schedule, data.data(), data.data(), kBlocks);
    for (size_t i = 0; i < kBlocks; ++i) {
      ASSERT_EQ(Bytes(data.begin() + static_cast<ptrdiff_t>(8 * i),
                      data.begin() + static_cast<ptrdiff_t>(8 * i + 8)),
                out)
          << "block " << i;
    }
  };
  for (const IDEAVector& vector : kIDEAVectors) {
    SCOPED_TRACE(vector.source);
    const Bytes key = FromHex(vector.key);
    const Bytes plaintext = FromHex(vector.plaintext);
    const Bytes ciphertext = FromHex(vector.ciphertext);
    IDEASchedule schedule;
    MakeIDEAEncryptionSchedule(key.data(), static_cast<uint32_t>(key.size()), schedule);
    check(schedule, plaintext, ciphertext);
    MakeIDEADecryptionSchedule(key.data(), static_cast<uint32_t>(key.size()), schedule);
    check(schedule, ciphertext, plaintext);
  }
}

INSTANTIATE_TEST_SUITE_P(IDEABlocks, IDEABlocksPath,
                         testing::Values(IDEAPath::kScalar, IDEAPath::kSSE2, IDEAPath::kAVX2,
                                         IDEAPath::kAVX512),
                         [](const testing::TestParamInfo<IDEAPath>& param) {
                           return std::string(IDEAPathName(param.param));
                         });

TEST(IDEADecryptor, KeyIsFirstSixteenBytesOverZeros) {
  std::mt19937 rng(1);
  const Bytes ciphertext = RandomBytes(rng, 64);
  const Bytes twenty = RandomBytes(rng, 20);

  Bytes fivePadded(twenty.begin(), twenty.begin() + 5);
  fivePadded.resize(16, 0);
  EXPECT_EQ(DecryptIDEA(Bytes(twenty.begin(), twenty.begin() + 5), ciphertext),
            DecryptIDEA(fivePadded, ciphertext));
  EXPECT_EQ(DecryptIDEA(twenty, ciphertext),
            DecryptIDEA(Bytes(twenty.begin(), twenty.begin() + 16), ciphertext));
  EXPECT_NE(DecryptIDEA(Bytes(twenty.begin(), twenty.begin() + 15), ciphertext),
            DecryptIDEA(Bytes(twenty.begin(), twenty.begin() + 16), ciphertext));

  IDEADecryptor empty;
  empty.SetKey(nullptr, 0);
  EXPECT_EQ(Decrypt(empty, ciphertext), DecryptIDEA(Bytes(16, 0), ciphertext));
}

// The writer's encryption and the decryptor against the independent encryptor on random
// data, keys of every length the writer meets taken the same way.
TEST(IDEADecryptor, AgreesWithIndependentEncryption) {
  std::mt19937 rng(2);
  for (const size_t keyLength : {0u, 1u, 5u, 16u, 20u, 74u}) {
    SCOPED_TRACE(keyLength);
    const Bytes key = RandomBytes(rng, keyLength);
    const Bytes plaintext = RandomBytes(rng, 8192);
    const Bytes expected = EncryptIDEAReference(key, plaintext);
    Bytes data = plaintext;
    EncryptIDEABlocks(ExpandIDEAEncryptionKey(std::string(key.begin(), key.end())), data.data(),
                      data.size());
    EXPECT_EQ(data, expected);
    EXPECT_EQ(DecryptIDEA(key, expected), plaintext);
  }
}

// The Decrypt contract that both ciphers share. Instantiated once per cipher, with the
// cipher's name as prefix so that each cipher's filter picks up its own instance.
template <typename Decryptor>
class DecryptContract : public testing::Test {
 protected:
  DecryptContract() : rng_(3) {
    const Bytes key = RandomBytes(rng_, 24);
    decryptor_.SetKey(key.data(), static_cast<uint32_t>(key.size()));
  }

  std::mt19937 rng_;
  Decryptor decryptor_;
};

TYPED_TEST_SUITE_P(DecryptContract);

TYPED_TEST_P(DecryptContract, RefusalWritesNothing) {
  const Bytes input = RandomBytes(this->rng_, 8192);
  struct Case {
    uint32_t capacity;
    uint32_t inputLength;
  };
  const Case cases[] = {{15, 16}, {8184, 8192}, {16, 12}, {8192, 8191}, {0xFFFFFFFF, 12}};
  for (const Case& refused : cases) {
    SCOPED_TRACE(testing::Message() << refused.capacity << " " << refused.inputLength);
    Bytes output(8192, 0xA5);
    uint32_t length = refused.capacity;
    EXPECT_FALSE(
        this->decryptor_.Decrypt(output.data(), &length, input.data(), refused.inputLength));
    EXPECT_EQ(length, refused.capacity);
    EXPECT_EQ(output, Bytes(8192, 0xA5));
  }
}

TYPED_TEST_P(DecryptContract, WritesExactlyInputLength) {
  const Bytes input = RandomBytes(this->rng_, 8192);
  Bytes output(8192, 0xA5);

  uint32_t length = 5;
  EXPECT_TRUE(this->decryptor_.Decrypt(output.data(), &length, input.data(), 0));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(output, Bytes(8192, 0xA5));

  length = 100;
  EXPECT_TRUE(this->decryptor_.Decrypt(output.data(), &length, input.data(), 16));
  EXPECT_EQ(length, 16u);
  EXPECT_EQ(Bytes(output.begin() + 16, output.end()), Bytes(8192 - 16, 0xA5));

  length = 8192;
  EXPECT_TRUE(this->decryptor_.Decrypt(output.data(), &length, input.data(), 8192));
  EXPECT_EQ(length, 8192u);
}

// Electronic codebook: every block decrypts alone, whatever its neighbours, its offset or
// the calls made before.
TYPED_TEST_P(DecryptContract, DecryptsEachBlockOnItsOwn) {
  Bytes input = RandomBytes(this->rng_, 8 * 32);
  std::copy(input.begin(), input.begin() + 8, input.begin() + 8 * 17);
  const Bytes whole = Decrypt(this->decryptor_, input);

  EXPECT_EQ(Bytes(whole.begin(), whole.begin() + 8),
            Bytes(whole.begin() + 8 * 17, whole.begin() + 8 * 18));
  for (int block = 0; block < 32; ++block) {
    const Bytes single(input.begin() + 8 * block, input.begin() + 8 * (block + 1));
    EXPECT_EQ(Decrypt(this->decryptor_, single),
              Bytes(whole.begin() + 8 * block, whole.begin() + 8 * (block + 1)));
  }
  EXPECT_EQ(Decrypt(this->decryptor_, input), whole);
}

TYPED_TEST_P(DecryptContract, InPlaceEqualsSeparateOutput) {
  Bytes data = RandomBytes(this->rng_, 8192);
  const Bytes separate = Decrypt(this->decryptor_, data);
  uint32_t length = static_cast<uint32_t>(data.size());
  EXPECT_TRUE(this->decryptor_.Decrypt(data.data(), &length, data.data(), length));
  EXPECT_EQ(data, separate);
}

TYPED_TEST_P(DecryptContract, SetKeyReplacesTheSchedule) {
  const Bytes input = RandomBytes(this->rng_, 64);
  const Bytes key = RandomBytes(this->rng_, 16);
  TypeParam fresh;
  fresh.SetKey(key.data(), static_cast<uint32_t>(key.size()));
  this->decryptor_.SetKey(key.data(), static_cast<uint32_t>(key.size()));
  EXPECT_EQ(Decrypt(this->decryptor_, input), Decrypt(fresh, input));
}

REGISTER_TYPED_TEST_SUITE_P(DecryptContract, RefusalWritesNothing, WritesExactlyInputLength,
                            DecryptsEachBlockOnItsOwn, InPlaceEqualsSeparateOutput,
                            SetKeyReplacesTheSchedule);
INSTANTIATE_TYPED_TEST_SUITE_P(IDEADecryptor, DecryptContract, IDEADecryptor);
INSTANTIATE_TYPED_TEST_SUITE_P(RC2Decryptor, DecryptContract, RC2Decryptor);

}  // namespace
