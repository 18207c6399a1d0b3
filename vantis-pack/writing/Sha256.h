#pragma once
// SHA-256 (FIPS 180-4) of the finished installer: the figure a publisher posts beside the
// download. The platform's library computes it, with whatever processor support it has:
// OpenSSL's libcrypto on Linux (Sha256_openssl.cpp), BCrypt on Windows (Sha256_win.cpp).
//
// The library failing (out of memory, a provider missing from the system) ends the program
// with a message on stderr: no caller could report a digest without it, and a wrong or
// missing digest must never be printed as the installer's.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

using Sha256Digest = std::array<uint8_t, 32>;

struct Sha256Context;  // the library's hash object, per platform

// A digest under way; feed it with UpdateSha256 in pieces of any size. Moving it moves the
// digest; a moved-from state must not be fed or finished.
struct Sha256State {
  Sha256State();
  ~Sha256State();
  Sha256State(Sha256State&& other) noexcept;
  Sha256State& operator=(Sha256State&& other) noexcept;

  std::unique_ptr<Sha256Context> context;
};

void UpdateSha256(Sha256State& state, const void* data, size_t length);
// Ends the message; the state is used up.
Sha256Digest FinishSha256(Sha256State& state);

// Lower-case hexadecimal, as sha256sum prints it.
std::string FormatSha256(const Sha256Digest& digest);
