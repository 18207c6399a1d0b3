#pragma once
// IDEA over many blocks at once, in either direction: the prepared key schedule that every
// code path shares, and one entry point per path. Encryption and decryption are the same
// network, each with its own subkeys, so the schedule alone says which one a call does.
// Callers take FastestIDEAPath(); tests and benchmarks name a path themselves.

#include <cstddef>
#include <cstdint>

constexpr int kIDEASubkeyCount = 52;

// A schedule with each multiplicative key's special cases worked out once. Indices follow
// the block function: keys 6r..6r+5 for round r, 48..51 for the output transformation;
// 6r, 6r+3, 6r+4, 6r+5, 48 and 51 are multiplicative.
//
// The vector paths multiply by the low-minus-high reduction alone, which is right whenever
// neither operand is 0. A word x of 0 stands for 2^16 and gives 1 there instead of
// 2^16 * k = 1 - k, so they add zeroInputFix = -k where x is 0. A key of 0 gives 1 for
// every x instead of 1 - x; for such keys zeroKeyMask is all ones and x is subtracted.
struct IDEASchedule {
  uint16_t keys[kIDEASubkeyCount];
  uint16_t zeroInputFix[kIDEASubkeyCount];
  uint16_t zeroKeyMask[kIDEASubkeyCount];
  bool hasZeroMultiplier;  // only then do the vector paths apply zeroKeyMask
};

// The first min(keyLength, 16) key bytes over 16 zero bytes are the IDEA key; `key` may be
// null when keyLength is 0.
void MakeIDEAEncryptionSchedule(const uint8_t* key, uint32_t keyLength, IDEASchedule& schedule);
void MakeIDEADecryptionSchedule(const uint8_t* key, uint32_t keyLength, IDEASchedule& schedule);

enum class IDEAPath { kScalar, kSSE2, kAVX2, kAVX512 };

// Whether this processor (and its operating system) can run the path.
bool IsIDEAPathAvailable(IDEAPath path);
IDEAPath FastestIDEAPath();
const char* IDEAPathName(IDEAPath path);  // "scalar", "SSE2", "AVX2", "AVX512"

// Runs `blockCount` 8-byte blocks through the block function with the schedule's keys,
// handing what is left below the path's batch size to the narrower paths and finally to
// the scalar one. `output` may equal `input`; no alignment is needed. The path must be
// available.
void CryptIDEABlocks(IDEAPath path, const IDEASchedule& schedule, const uint8_t* input,
                     uint8_t* output, size_t blockCount);

// Each vector path does the longest prefix of whole batches it can and returns the number
// of blocks it did (a multiple of 8 for SSE2, of 16 for AVX2 and of 32 for AVX-512).
size_t CryptIDEABlocksSSE2(const IDEASchedule& schedule, const uint8_t* input, uint8_t* output,
                           size_t blockCount);
size_t CryptIDEABlocksAVX2(const IDEASchedule& schedule, const uint8_t* input, uint8_t* output,
                           size_t blockCount);
size_t CryptIDEABlocksAVX512(const IDEASchedule& schedule, const uint8_t* input,
                             uint8_t* output, size_t blockCount);
