// The installer digest's speed, one thread, as a plain timing loop over the functions that
// `vantis-pack build` calls: OpenSSL's on Linux, BCrypt's on Windows (run the Windows build
// under Wine or on Windows). OpenSSL picks its path from the processor; set
// OPENSSL_ia32cap=":~0x20000000" to time it without the SHA extensions.
//
//   sha256-speed [SECONDS]        default 1

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "vantis-pack/writing/Sha256.h"

namespace {

// `build` digests each batch of whole chunks, 1 MiB, in one call.
constexpr size_t kPieceLength = 1048576;
constexpr size_t kPieceCount = 16;

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
  std::vector<uint8_t> buffer(kPieceLength * kPieceCount);
  uint32_t seed = 1;
  for (uint8_t& byte : buffer) {
    seed = seed * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(seed >> 24);
  }

  // On a shared machine another process can take the processor during any piece, so the
  // fastest piece is the figure for the code, and the median shows the disturbance.
  using Clock = std::chrono::steady_clock;
  std::vector<double> pieces;
  Sha256State state;
  const Clock::time_point start = Clock::now();
  do {
    for (size_t piece = 0; piece < kPieceCount; ++piece) {
      const Clock::time_point pieceStart = Clock::now();
      UpdateSha256(state, buffer.data() + piece * kPieceLength, kPieceLength);
      pieces.push_back(std::chrono::duration<double>(Clock::now() - pieceStart).count());
    }
  } while (Clock::now() - start < std::chrono::duration<double>(seconds));
  FinishSha256(state);
  std::sort(pieces.begin(), pieces.end());

  const double megabytes = static_cast<double>(kPieceLength) / 1e6;
  const char* mask = std::getenv("OPENSSL_ia32cap");
  std::printf("SHA-256, one thread, %u-bit build, %zu-byte pieces%s%s: best %.1f MB/s, "
              "median %.1f MB/s\n",
              static_cast<unsigned>(8 * sizeof(void*)), kPieceLength,
              mask ? ", OPENSSL_ia32cap=" : "", mask ? mask : "", megabytes / pieces.front(),
              megabytes / pieces[pieces.size() / 2]);
  return 0;
}
