#pragma once
// The IDEA block function on vectors of 16-bit lanes, one block per lane, written once over
// the few operations that each instruction set supplies as an `Ops` record. Only the
// per-instruction-set files include this, each compiled for its own instruction set, and
// each instantiates it with an `Ops` from its own anonymous namespace, so no instantiation
// is shared between them. Compares give lane masks: vectors of all-ones lanes where the
// instruction set compares into vectors (VectorLaneMasks), mask registers where it has them.

#include <cstddef>
#include <cstdint>

#include "crypto/IDEABlocks.h"

namespace idea_vector {

// The lane masks of instruction sets that compare into vectors: all-ones lanes, built from
// the `Ops` record's own operations. The record derives from this with itself as `Ops`.
template <typename Ops>
struct VectorLaneMasks {
  template <typename V>
  static V LessOrEqual(V a, V b) {
    return Ops::Equal(Ops::SubSaturated(a, b), Ops::Zero());
  }
  template <typename V>
  static V IsZero(V v) {
    return Ops::Equal(v, Ops::Zero());
  }
  template <typename V>
  static V AddOneWhere(V v, V mask) {
    return Ops::Sub(v, mask);
  }
  template <typename V>
  static V AddWhere(V v, V mask, V addend) {
    return Ops::Add(v, Ops::And(mask, addend));
  }
};

// Every key of the schedule broadcast to all lanes, once per call.
template <typename Ops>
struct BroadcastKeys {
  typename Ops::Vector key[kIDEASubkeyCount];
  typename Ops::Vector zeroInputFix[kIDEASubkeyCount];
  typename Ops::Vector zeroKeyMask[kIDEASubkeyCount];
};

template <typename Ops, bool kZeroKeys>
struct Kernel {
  using V = typename Ops::Vector;
  static constexpr size_t kBlocksPerVector = sizeof(V) / 2;

  // x ⊙ k by the low-minus-high reduction: lo - hi, plus 1 where lo < hi, i.e. where the
  // difference borrowed. The mask marks lo <= hi, the same thing while both operands are
  // non-zero: lo == hi would make the product a multiple of the prime 65537. An x of 0
  // (standing for 2^16) gives lo = hi = 0 and so 1, which the fix of -k turns into
  // 2^16 * k = 1 - k. A k of 0 gives 1 for every x, and zeroKeyMask takes x off: 1 - x.
  static V Mul(V x, const BroadcastKeys<Ops>& keys, int i) {
    const V lo = Ops::MulLo(x, keys.key[i]);
    const V hi = Ops::MulHi(x, keys.key[i]);
    V r = Ops::AddOneWhere(Ops::Sub(lo, hi), Ops::LessOrEqual(lo, hi));
    r = Ops::AddWhere(r, Ops::IsZero(x), keys.zeroInputFix[i]);
    if (kZeroKeys) r = Ops::Sub(r, Ops::And(x, keys.zeroKeyMask[i]));
    return r;
  }

  // Words 1..4 of kBlocksPerVector consecutive blocks, one block per lane, as host numbers.
  // The 16-bit unpacks interleave pairs of blocks word by word; the 64-bit ones then join
  // the halves. All unpacks stay within 128-bit lanes, so a wider vector holds the blocks
  // in an order of its own, which Store undoes.
  static void Load(const uint8_t* in, V (&x)[4]) {
    constexpr size_t kStep = sizeof(V);
    const V r0 = Ops::SwapBytes(Ops::Load(in));
    const V r1 = Ops::SwapBytes(Ops::Load(in + kStep));
    const V r2 = Ops::SwapBytes(Ops::Load(in + 2 * kStep));
    const V r3 = Ops::SwapBytes(Ops::Load(in + 3 * kStep));
    const V t0 = Ops::UnpackLo16(r0, r1);
    const V t1 = Ops::UnpackHi16(r0, r1);
    const V t2 = Ops::UnpackLo16(r2, r3);
    const V t3 = Ops::UnpackHi16(r2, r3);
    const V u0 = Ops::UnpackLo16(t0, t1);
    const V u1 = Ops::UnpackHi16(t0, t1);
    const V u2 = Ops::UnpackLo16(t2, t3);
    const V u3 = Ops::UnpackHi16(t2, t3);
    x[0] = Ops::UnpackLo64(u0, u2);
    x[1] = Ops::UnpackHi64(u0, u2);
    x[2] = Ops::UnpackLo64(u1, u3);
    x[3] = Ops::UnpackHi64(u1, u3);
  }

  static void Store(const V (&y)[4], uint8_t* out) {
    constexpr size_t kStep = sizeof(V);
    const V p0 = Ops::UnpackLo16(y[0], y[1]);
    const V p1 = Ops::UnpackHi16(y[0], y[1]);
    const V p2 = Ops::UnpackLo16(y[2], y[3]);
    const V p3 = Ops::UnpackHi16(y[2], y[3]);
    Ops::Store(out, Ops::SwapBytes(Ops::UnpackLo32(p0, p2)));
    Ops::Store(out + kStep, Ops::SwapBytes(Ops::UnpackHi32(p0, p2)));
    Ops::Store(out + 2 * kStep, Ops::SwapBytes(Ops::UnpackLo32(p1, p3)));
    Ops::Store(out + 3 * kStep, Ops::SwapBytes(Ops::UnpackHi32(p1, p3)));
  }

  // kGroups independent sets of vectors go through the rounds side by side: one set's
  // chain of multiplications is too serial to keep the multipliers busy. Every input is
  // loaded before any output is stored, so `out` may equal `in`.
  template <size_t kGroups>
  static void CryptBatch(const BroadcastKeys<Ops>& keys, const uint8_t* in, uint8_t* out) {
    constexpr size_t kGroupBytes = 8 * kBlocksPerVector;
    V x[kGroups][4];
    for (size_t g = 0; g < kGroups; ++g) Load(in + g * kGroupBytes, x[g]);

    for (int k = 0; k < 48; k += 6) {
      for (size_t g = 0; g < kGroups; ++g) {
        V(&w)[4] = x[g];
        w[0] = Mul(w[0], keys, k);
        w[1] = Ops::Add(w[1], keys.key[k + 1]);
        w[2] = Ops::Add(w[2], keys.key[k + 2]);
        w[3] = Mul(w[3], keys, k + 3);
        const V t = Mul(Ops::Xor(w[0], w[2]), keys, k + 4);
        const V u = Mul(Ops::Add(Ops::Xor(w[1], w[3]), t), keys, k + 5);
        const V v = Ops::Add(t, u);
        const V middle = Ops::Xor(w[2], u);
        w[0] = Ops::Xor(w[0], u);
        w[2] = Ops::Xor(w[1], v);
        w[1] = middle;
        w[3] = Ops::Xor(w[3], v);
      }
    }

    for (size_t g = 0; g < kGroups; ++g) {
      const V y[4] = {Mul(x[g][0], keys, 48), Ops::Add(x[g][2], keys.key[49]),
                      Ops::Add(x[g][1], keys.key[50]), Mul(x[g][3], keys, 51)};
      Store(y, out + g * kGroupBytes);
    }
  }

  // Batches of kGroups vectors' worth of blocks, then of a single vector's worth while
  // that much is left. Returns the number of blocks done.
  template <size_t kGroups>
  static size_t CryptBlocks(const BroadcastKeys<Ops>& keys, const uint8_t* in, uint8_t* out,
                              size_t blockCount) {
    constexpr size_t kBatch = kGroups * kBlocksPerVector;
    size_t done = 0;
    for (; blockCount - done >= kBatch; done += kBatch) {
      CryptBatch<kGroups>(keys, in + 8 * done, out + 8 * done);
    }
    for (; kGroups > 1 && blockCount - done >= kBlocksPerVector; done += kBlocksPerVector) {
      CryptBatch<1>(keys, in + 8 * done, out + 8 * done);
    }
    return done;
  }
};

template <typename Ops, size_t kGroups>
size_t CryptBlocks(const IDEASchedule& schedule, const uint8_t* in, uint8_t* out,
                     size_t blockCount) {
  using V = typename Ops::Vector;
  if (blockCount < sizeof(V) / 2) return 0;
  BroadcastKeys<Ops> keys;
  for (int i = 0; i < kIDEASubkeyCount; ++i) {
    keys.key[i] = Ops::Broadcast(schedule.keys[i]);
    keys.zeroInputFix[i] = Ops::Broadcast(schedule.zeroInputFix[i]);
    keys.zeroKeyMask[i] = Ops::Broadcast(schedule.zeroKeyMask[i]);
  }
  if (schedule.hasZeroMultiplier) {
    return Kernel<Ops, true>::template CryptBlocks<kGroups>(keys, in, out, blockCount);
  }
  return Kernel<Ops, false>::template CryptBlocks<kGroups>(keys, in, out, blockCount);
}

}  // namespace idea_vector
