#include <gtest/gtest.h>

#include "TestBytes.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "crypto/RC2Decryptor.h"
#include "crypto/RC2Encryption.h"

#ifdef VANTIS_HAVE_OPENSSL
#include <openssl/rc2.h>
#endif

namespace {

using ExpandedKey = std::array<uint16_t, 64>;

// RC2 exactly as RFC 2268 publishes it (effective key length, little-endian words), kept
// apart from the variant so that the variant can be checked against it.
namespace rfc2268 {

// RFC 2268, section 2.
constexpr uint8_t kPiTable[256] = {
    0xd9, 0x78, 0xf9, 0xc4, 0x19, 0xdd, 0xb5, 0xed, 0x28, 0xe9, 0xfd, 0x79, 0x4a, 0xa0, 0xd8, 0x9d,
    0xc6, 0x7e, 0x37, 0x83, 0x2b, 0x76, 0x53, 0x8e, 0x62, 0x4c, 0x64, 0x88, 0x44, 0x8b, 0xfb, 0xa2,
    0x17, 0x9a, 0x59, 0xf5, 0x87, 0xb3, 0x4f, 0x13, 0x61, 0x45, 0x6d, 0x8d, 0x09, 0x81, 0x7d, 0x32,
    0xbd, 0x8f, 0x40, 0xeb, 0x86, 0xb7, 0x7b, 0x0b, 0xf0, 0x95, 0x21, 0x22, 0x5c, 0x6b, 0x4e, 0x82,
    0x54, 0xd6, 0x65, 0x93, 0xce, 0x60, 0xb2, 0x1c, 0x73, 0x56, 0xc0, 0x14, 0xa7, 0x8c, 0xf1, 0xdc,
    0x12, 0x75, 0xca, 0x1f, 0x3b, 0xbe, 0xe4, 0xd1, 0x42, 0x3d, 0xd4, 0x30, 0xa3, 0x3c, 0xb6, 0x26,
    0x6f, 0xbf, 0x0e, 0xda, 0x46, 0x69, 0x07, 0x57, 0x27, 0xf2, 0x1d, 0x9b, 0xbc, 0x94, 0x43, 0x03,
    0xf8, 0x11, 0xc7, 0xf6, 0x90, 0xef, 0x3e, 0xe7, 0x06, 0xc3, 0xd5, 0x2f, 0xc8, 0x66, 0x1e, 0xd7,
    0x08, 0xe8, 0xea, 0xde, 0x80, 0x52, 0xee, 0xf7, 0x84, 0xaa, 0x72, 0xac, 0x35, 0x4d, 0x6a, 0x2a,
    0x96, 0x1a, 0xd2, 0x71, 0x5a, 0x15, 0x49, 0x74, 0x4b, 0x9f, 0xd0, 0x5e, 0x04, 0x18, 0xa4, 0xec,
    0xc2, 0xe0, 0x41, 0x6e, 0x0f, 0x51, 0xcb, 0xcc, 0x24, 0x91, 0xaf, 0x50, 0xa1, 0xf4, 0x70, 0x39,
    0x99, 0x7c, 0x3a, 0x85, 0x23, 0xb8, 0xb4, 0x7a, 0xfc, 0x02, 0x36, 0x5b, 0x25, 0x55, 0x97, 0x31,
    0x2d, 0x5d, 0xfa, 0x98, 0xe3, 0x8a, 0x92, 0xae, 0x05, 0xdf, 0x29, 0x10, 0x67, 0x6c, 0xba, 0xc9,
    0xd3, 0x00, 0xe6, 0xcf, 0xe1, 0x9e, 0xa8, 0x2c, 0x63, 0x16, 0x01, 0x3f, 0x58, 0xe2, 0x89, 0xa9,
    0x0d, 0x38, 0x34, 0x1b, 0xab, 0x33, 0xff, 0xb0, 0xbb, 0x48, 0x0c, 0x5f, 0xb9, 0xb1, 0xcd, 0x2e,
    0xc5, 0xf3, 0xdb, 0x47, 0xe5, 0xa5, 0x9c, 0x77, 0x0a, 0xa6, 0x20, 0x68, 0xfe, 0x7f, 0xc1, 0xad,
};

// Section 2: the key of T bytes with an effective key length of `bits`.
ExpandedKey ExpandKey(const Bytes& key, int bits) {
  const int t = static_cast<int>(key.size());
  const int t8 = (bits + 7) / 8;
  const int tm = 0xFF >> (8 * t8 - bits);
  uint8_t l[128] = {};
  std::copy(key.begin(), key.end(), l);
  for (int i = t; i < 128; ++i) l[i] = kPiTable[(l[i - 1] + l[i - t]) % 256];
  l[128 - t8] = kPiTable[l[128 - t8] & tm];
  for (int i = 127 - t8; i >= 0; --i) l[i] = kPiTable[l[i + 1] ^ l[i + t8]];
  ExpandedKey expanded;
  uint16_t* k = expanded.data();
  for (int i = 0; i < 64; ++i) k[i] = static_cast<uint16_t>(l[2 * i] + 256 * l[2 * i + 1]);
  return expanded;
}

uint16_t Word(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] + 256 * bytes[1]); }

void PutWord(uint16_t word, uint8_t* bytes) {
  bytes[0] = static_cast<uint8_t>(word & 255);
  bytes[1] = static_cast<uint8_t>(word >> 8);
}

uint16_t Rotl(int x, int s) { return static_cast<uint16_t>((x << s | x >> (16 - s)) & 0xFFFF); }

// Section 3.
void Encrypt(const ExpandedKey& key, uint8_t* block) {
  const uint16_t* k = key.data();
  int r[4] = {Word(block), Word(block + 2), Word(block + 4), Word(block + 6)};
  const int s[4] = {1, 2, 3, 5};
  int j = 0;
  const auto mix = [&] {
    for (int i = 0; i < 4; ++i) {
      r[i] =
          (r[i] + k[j] + (r[(i + 3) % 4] & r[(i + 2) % 4]) + (~r[(i + 3) % 4] & r[(i + 1) % 4])) &
          0xFFFF;
      j += 1;
      r[i] = Rotl(r[i], s[i]);
    }
  };
  const auto mash = [&] {
    for (int i = 0; i < 4; ++i) r[i] = (r[i] + k[r[(i + 3) % 4] & 63]) & 0xFFFF;
  };
  for (int n = 0; n < 5; ++n) mix();
  mash();
  for (int n = 0; n < 6; ++n) mix();
  mash();
  for (int n = 0; n < 5; ++n) mix();
  for (int i = 0; i < 4; ++i) PutWord(static_cast<uint16_t>(r[i]), block + 2 * i);
}

// Section 4.
void Decrypt(const ExpandedKey& key, uint8_t* block) {
  const uint16_t* k = key.data();
  int r[4] = {Word(block), Word(block + 2), Word(block + 4), Word(block + 6)};
  const int s[4] = {1, 2, 3, 5};
  int j = 63;
  const auto rmix = [&] {
    for (int i = 3; i >= 0; --i) {
      r[i] = Rotl(r[i], 16 - s[i]);
      r[i] =
          (r[i] - k[j] - (r[(i + 3) % 4] & r[(i + 2) % 4]) - (~r[(i + 3) % 4] & r[(i + 1) % 4])) &
          0xFFFF;
      j -= 1;
    }
  };
  const auto rmash = [&] {
    for (int i = 3; i >= 0; --i) r[i] = (r[i] - k[r[(i + 3) % 4] & 63]) & 0xFFFF;
  };
  for (int n = 0; n < 5; ++n) rmix();
  rmash();
  for (int n = 0; n < 6; ++n) rmix();
  rmash();
  for (int n = 0; n < 5; ++n) rmix();
  for (int i = 0; i < 4; ++i) PutWord(static_cast<uint16_t>(r[i]), block + 2 * i);
}

}  // namespace rfc2268

// Exchanges the two bytes of every 16-bit word: the variant's big-endian words become
// RFC 2268's little-endian ones and back.
Bytes SwapWordBytes(Bytes data) {
  for (size_t i = 0; i + 1 < data.size(); i += 2) std::swap(data[i], data[i + 1]);
  return data;
}

// The 128-byte key whose variant expansion is K itself: with T = 128 nothing is drawn
// from the table.
Bytes KeyForExpandedKey(const ExpandedKey& k) {
  Bytes key(128);
  for (size_t i = 0; i < 64; ++i) {
    key[2 * i] = static_cast<uint8_t>(k[i] & 255);
    key[2 * i + 1] = static_cast<uint8_t>(k[i] >> 8);
  }
  return key;
}

// The variant's expansion from RFC 2268's: at 1024 effective bits the RFC's second stage
// only replaces L[0] by PITABLE[L[0]], so putting the first key byte back gives it.
ExpandedKey VariantFromRfcExpansion(ExpandedKey k, uint8_t firstKeyByte) {
  k[0] = static_cast<uint16_t>((k[0] & 0xFF00) | firstKeyByte);
  return k;
}

Bytes DecryptVariant(const Bytes& key, const Bytes& input) {
  RC2Decryptor decryptor;
  decryptor.SetKey(key.data(), static_cast<uint32_t>(key.size()));
  return Decrypt(decryptor, input);
}

// RFC 2268 decryption under K on the variant's byte order.
Bytes DecryptRfcSwapped(const ExpandedKey& k, const Bytes& input) {
  Bytes data = SwapWordBytes(input);
  for (size_t offset = 0; offset < data.size(); offset += 8) rfc2268::Decrypt(k, &data[offset]);
  return SwapWordBytes(data);
}

Bytes EncryptRfcSwapped(const ExpandedKey& k, const Bytes& input) {
  Bytes data = SwapWordBytes(input);
  for (size_t offset = 0; offset < data.size(); offset += 8) rfc2268::Encrypt(k, &data[offset]);
  return SwapWordBytes(data);
}

Bytes EncryptVariant(const Bytes& key, const Bytes& input) {
  Bytes data = input;
  EncryptRC2VariantBlocks(ExpandRC2VariantKey(std::string(key.begin(), key.end())), data.data(),
                          data.size());
  return data;
}

TEST(RC2Decryptor, ReferenceMatchesRfc2268Vectors) {
  // RFC 2268, section 5: all eight vectors.
  struct Vector {
    int bits;
    const char* key;
    const char* plaintext;
    const char* ciphertext;
  };
  const Vector vectors[] = {
      {63, "0000000000000000", "0000000000000000", "ebb773f993278eff"},
      {64, "ffffffffffffffff", "ffffffffffffffff", "278b27e42e2f0d49"},
      {64, "3000000000000000", "1000000000000001", "30649edf9be7d2c2"},
      {64, "88", "0000000000000000", "61a8a244adacccf0"},
      {64, "88bca90e90875a", "0000000000000000", "6ccf4308974c267f"},
      {64, "88bca90e90875a7f0f79c384627bafb2", "0000000000000000", "1a807d272bbe5db1"},
      {128, "88bca90e90875a7f0f79c384627bafb2", "0000000000000000", "2269552ab0f85ca6"},
      {129, "88bca90e90875a7f0f79c384627bafb216f80a6f85920584c42fceb0be255daf1e",
       "0000000000000000", "5b78d3a43dfff1f1"},
  };
  for (const Vector& vector : vectors) {
    SCOPED_TRACE(vector.key);
    const ExpandedKey k = rfc2268::ExpandKey(FromHex(vector.key), vector.bits);
    Bytes block = FromHex(vector.plaintext);
    rfc2268::Encrypt(k, block.data());
    EXPECT_EQ(block, FromHex(vector.ciphertext));
    rfc2268::Decrypt(k, block.data());
    EXPECT_EQ(block, FromHex(vector.plaintext));
  }
}

// The block function alone: K taken from RFC 2268 expansions and from random words,
// loaded through a 128-byte key.
TEST(RC2Decryptor, BlockFunctionIsRfc2268OnExchangedBytes) {
  std::mt19937 rng(4);
  std::vector<ExpandedKey> keys = {
      rfc2268::ExpandKey(FromHex("88bca90e90875a"), 64),
      rfc2268::ExpandKey(FromHex("88bca90e90875a7f0f79c384627bafb2"), 128),
      rfc2268::ExpandKey(FromHex("ffffffffffffffff"), 63),
  };
  for (int n = 0; n < 8; ++n) {
    ExpandedKey k;
    for (uint16_t& word : k) word = static_cast<uint16_t>(rng());
    keys.push_back(k);
  }
  for (const ExpandedKey& k : keys) {
    const Bytes key = KeyForExpandedKey(k);
    const Bytes data = RandomBytes(rng, 512);
    EXPECT_EQ(DecryptVariant(key, data), DecryptRfcSwapped(k, data));
    EXPECT_EQ(EncryptVariant(key, data), EncryptRfcSwapped(k, data));
    const RC2ExpandedKey expanded = ExpandRC2VariantKey(std::string(key.begin(), key.end()));
    EXPECT_TRUE(std::equal(k.begin(), k.end(), expanded.words));
  }
}

// The expansion, for every key length up to 128 and past it: RFC 2268's at 1024 effective
// bits with the first key byte put back. A key longer than 128 bytes is cut.
TEST(RC2Decryptor, ExpansionIsRfc2268FirstStage) {
  std::mt19937 rng(5);
  std::vector<size_t> lengths = {200};
  for (size_t t = 1; t <= 129; ++t) lengths.push_back(t);
  for (const size_t t : lengths) {
    SCOPED_TRACE(t);
    const Bytes key = RandomBytes(rng, t);
    Bytes used = key;
    if (used.size() > 128) used.resize(128);
    const ExpandedKey k = VariantFromRfcExpansion(rfc2268::ExpandKey(used, 1024), key[0]);
    const Bytes data = RandomBytes(rng, 64);
    EXPECT_EQ(DecryptVariant(key, data), DecryptRfcSwapped(k, data));
    const RC2ExpandedKey expanded = ExpandRC2VariantKey(std::string(key.begin(), key.end()));
    EXPECT_TRUE(std::equal(k.begin(), k.end(), expanded.words));
  }
}

TEST(RC2Decryptor, EmptyKeyExpandsToZeros) {
  std::mt19937 rng(6);
  const Bytes data = RandomBytes(rng, 64);
  RC2Decryptor rekeyed;
  const Bytes earlier = RandomBytes(rng, 10);
  rekeyed.SetKey(earlier.data(), static_cast<uint32_t>(earlier.size()));
  rekeyed.SetKey(nullptr, 0);
  Bytes output(data.size());
  uint32_t length = static_cast<uint32_t>(output.size());
  ASSERT_TRUE(rekeyed.Decrypt(output.data(), &length, data.data(), length));
  EXPECT_EQ(output, DecryptRfcSwapped(ExpandedKey{}, data));
}

TEST(RC2Decryptor, RoundTripsWithPackageWriterEncryption) {
  std::mt19937 rng(7);
  for (const size_t keyLength : {1u, 7u, 16u, 74u, 128u, 200u}) {
    SCOPED_TRACE(keyLength);
    const Bytes key = RandomBytes(rng, keyLength);
    const Bytes plaintext = RandomBytes(rng, 8192);
    EXPECT_EQ(DecryptVariant(key, EncryptVariant(key, plaintext)), plaintext);
  }
}

#ifdef VANTIS_HAVE_OPENSSL
// OpenSSL's RC2 at 1024 effective bits is RFC 2268's; its key words are public, so the
// variant's expansion is OpenSSL's with the first key byte put back.
TEST(RC2Decryptor, AgreesWithOpenSSL) {
  std::mt19937 rng(8);
  for (const size_t keyLength : {1u, 2u, 5u, 16u, 33u, 74u, 127u, 128u}) {
    SCOPED_TRACE(keyLength);
    const Bytes key = RandomBytes(rng, keyLength);
    RC2_KEY schedule;
    RC2_set_key(&schedule, static_cast<int>(key.size()), key.data(), 1024);
    schedule.data[0] = (schedule.data[0] & 0xFF00) | key[0];

    const Bytes data = RandomBytes(rng, 256);
    Bytes decrypted = SwapWordBytes(data);
    Bytes encrypted = SwapWordBytes(data);
    for (size_t offset = 0; offset < data.size(); offset += 8) {
      RC2_ecb_encrypt(&decrypted[offset], &decrypted[offset], &schedule, RC2_DECRYPT);
      RC2_ecb_encrypt(&encrypted[offset], &encrypted[offset], &schedule, RC2_ENCRYPT);
    }
    EXPECT_EQ(DecryptVariant(key, data), SwapWordBytes(decrypted));
    EXPECT_EQ(EncryptVariant(key, data), SwapWordBytes(encrypted));
  }
}
#endif

}  // namespace
