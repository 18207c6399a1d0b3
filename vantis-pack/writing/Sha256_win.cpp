// SHA-256 through Windows' BCrypt (Windows 7 and later, and Wine), which picks the
// processor's fastest path itself.

#include <windows.h>

#include <bcrypt.h>

#include <cassert>
#include <cstdio>
#include <cstdlib>

#include "vantis-pack/writing/Sha256.h"

struct Sha256Context {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~Sha256Context() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

namespace {

[[noreturn]] void FailSha256(const char* call, NTSTATUS status) {
  std::fprintf(stderr, "vantis-pack: SHA-256: BCrypt's %s failed (status 0x%08lx)\n", call,
               static_cast<unsigned long>(status));
  std::abort();
}

}  // namespace

Sha256State::Sha256State() : context(new Sha256Context) {
  NTSTATUS status =
      BCryptOpenAlgorithmProvider(&context->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
  if (!BCRYPT_SUCCESS(status)) FailSha256("BCryptOpenAlgorithmProvider", status);
  // Without a buffer of ours BCrypt allocates the hash object itself, from Windows 7 on.
  status = BCryptCreateHash(context->algorithm, &context->hash, nullptr, 0, nullptr, 0, 0);
  if (!BCRYPT_SUCCESS(status)) FailSha256("BCryptCreateHash", status);
}

Sha256State::~Sha256State() = default;
Sha256State::Sha256State(Sha256State&& other) noexcept = default;
Sha256State& Sha256State::operator=(Sha256State&& other) noexcept = default;

void UpdateSha256(Sha256State& state, const void* data, size_t length) {
  assert(state.context != nullptr);
  // BCrypt takes a ULONG count: the 64-bit build feeds what lies beyond 4 GiB in pieces.
  constexpr size_t kLargestPiece = 0x80000000;
  auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
  while (length > 0) {
    const size_t piece = length < kLargestPiece ? length : kLargestPiece;
    const NTSTATUS status =
        BCryptHashData(state.context->hash, bytes, static_cast<ULONG>(piece), 0);
    if (!BCRYPT_SUCCESS(status)) FailSha256("BCryptHashData", status);
    bytes += piece;
    length -= piece;
  }
}

Sha256Digest FinishSha256(Sha256State& state) {
  assert(state.context != nullptr);
  Sha256Digest digest;
  const NTSTATUS status = BCryptFinishHash(state.context->hash, digest.data(),
                                           static_cast<ULONG>(digest.size()), 0);
  if (!BCRYPT_SUCCESS(status)) FailSha256("BCryptFinishHash", status);
  return digest;
}
