// SHA-256 through Windows' BCrypt (Windows 7 and later, and Wine).

#include <windows.h>

#include <bcrypt.h>

#include <cassert>
#include <cstdio>
#include <cstdlib>

#include "vantis-pack/host/SystemLibrary_win.h"
#include "vantis-pack/writing/Sha256.h"

namespace {

[[noreturn]] void FailSha256(const char* call, unsigned long code) {
  std::fprintf(stderr, "vantis-pack: SHA-256: %s failed (0x%08lx)\n", call, code);
  std::abort();
}

// From the system folder (host/SystemLibrary_win.h), at run time.
struct BCryptFunctions {
  decltype(&BCryptOpenAlgorithmProvider) openAlgorithmProvider = nullptr;
  decltype(&BCryptCloseAlgorithmProvider) closeAlgorithmProvider = nullptr;
  decltype(&BCryptCreateHash) createHash = nullptr;
  decltype(&BCryptDestroyHash) destroyHash = nullptr;
  decltype(&BCryptHashData) hashData = nullptr;
  decltype(&BCryptFinishHash) finishHash = nullptr;
};

template <typename Function>
void FindFunction(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (function == nullptr) FailSha256(name, GetLastError());
}

const BCryptFunctions& SystemBCrypt() {
  static const BCryptFunctions functions = [] {
    const HMODULE bcrypt = LoadSystemLibrary(L"bcrypt.dll");
    if (bcrypt == nullptr) FailSha256("loading bcrypt.dll", GetLastError());
    BCryptFunctions found;
    FindFunction(bcrypt, "BCryptOpenAlgorithmProvider", found.openAlgorithmProvider);
    FindFunction(bcrypt, "BCryptCloseAlgorithmProvider", found.closeAlgorithmProvider);
    FindFunction(bcrypt, "BCryptCreateHash", found.createHash);
    FindFunction(bcrypt, "BCryptDestroyHash", found.destroyHash);
    FindFunction(bcrypt, "BCryptHashData", found.hashData);
    FindFunction(bcrypt, "BCryptFinishHash", found.finishHash);
    return found;
  }();
  return functions;
}

void CheckStatus(const char* call, NTSTATUS status) {
  if (!BCRYPT_SUCCESS(status)) FailSha256(call, static_cast<unsigned long>(status));
}

}  // namespace

struct Sha256Context {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~Sha256Context() {
    if (hash != nullptr) SystemBCrypt().destroyHash(hash);
    if (algorithm != nullptr) SystemBCrypt().closeAlgorithmProvider(algorithm, 0);
  }
};

Sha256State::Sha256State() : context(new Sha256Context) {
  const BCryptFunctions& bcrypt = SystemBCrypt();
  CheckStatus("BCryptOpenAlgorithmProvider",
              bcrypt.openAlgorithmProvider(&context->algorithm, BCRYPT_SHA256_ALGORITHM,
                                           nullptr, 0));
  // Without a buffer of ours BCrypt allocates the hash object itself, from Windows 7 on.
  CheckStatus("BCryptCreateHash",
              bcrypt.createHash(context->algorithm, &context->hash, nullptr, 0, nullptr, 0, 0));
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
    CheckStatus("BCryptHashData", SystemBCrypt().hashData(state.context->hash, bytes,
                                                          static_cast<ULONG>(piece), 0));
    bytes += piece;
    length -= piece;
  }
}

Sha256Digest FinishSha256(Sha256State& state) {
  assert(state.context != nullptr);
  Sha256Digest digest;
  CheckStatus("BCryptFinishHash",
              SystemBCrypt().finishHash(state.context->hash, digest.data(),
                                        static_cast<ULONG>(digest.size()), 0));
  return digest;
}
