// SHA-256 through OpenSSL's EVP interface, which takes the SHA extensions or the widest
// vector path the processor has (OPENSSL_ia32cap masks them).

#include <openssl/evp.h>

#include <cassert>
#include <cstdio>
#include <cstdlib>

#include "vantis-pack/writing/Sha256.h"

struct Sha256Context {
  EVP_MD_CTX* digest = nullptr;
  ~Sha256Context() { EVP_MD_CTX_free(digest); }
};

namespace {

[[noreturn]] void FailSha256(const char* call) {
  std::fprintf(stderr, "vantis-pack: SHA-256: OpenSSL's %s failed\n", call);
  std::abort();
}

}  // namespace

Sha256State::Sha256State() : context(new Sha256Context) {
  context->digest = EVP_MD_CTX_new();
  if (context->digest == nullptr) FailSha256("EVP_MD_CTX_new");
  if (EVP_DigestInit_ex(context->digest, EVP_sha256(), nullptr) != 1) {
    FailSha256("EVP_DigestInit_ex");
  }
}

Sha256State::~Sha256State() = default;
Sha256State::Sha256State(Sha256State&& other) noexcept = default;
Sha256State& Sha256State::operator=(Sha256State&& other) noexcept = default;

void UpdateSha256(Sha256State& state, const void* data, size_t length) {
  assert(state.context != nullptr);
  if (EVP_DigestUpdate(state.context->digest, data, length) != 1) {
    FailSha256("EVP_DigestUpdate");
  }
}

Sha256Digest FinishSha256(Sha256State& state) {
  assert(state.context != nullptr);
  Sha256Digest digest;
  unsigned length = 0;
  if (EVP_DigestFinal_ex(state.context->digest, digest.data(), &length) != 1 ||
      length != digest.size()) {
    FailSha256("EVP_DigestFinal_ex");
  }
  return digest;
}
