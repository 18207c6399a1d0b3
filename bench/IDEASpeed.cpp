// IDEA decryption and encryption speed of each path this processor has, one thread, as a
// plain timing loop: the program that runs wherever Google Benchmark and the peer libraries are not
// built (the Windows builds, under Wine or on Windows itself).
//
//   idea-speed [SECONDS_PER_PATH]        default 1

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crypto/IDEABlocks.h"

namespace {

// One entry chunk's worth, as the installer decrypts it and vantis-pack encrypts it.
constexpr size_t kBufferLength = 1048576;

// Each piece is timed on its own: a piece takes well under a millisecond even on the scalar
// path, less than the slice of processor time a busy machine gives a process at a time.
constexpr size_t kPieceLength = 65536;

struct Speed {
  double best = 0;    // MB/s of the fastest piece
  double median = 0;  // MB/s of the median piece
};

// Wall-clock time per piece of the buffer. On a shared machine another process can take
// the processor during any piece, so the fastest piece is the figure for the code, and
// the median shows how much the others were disturbed.
Speed MeasurePath(IDEAPath path, const IDEASchedule& schedule, std::vector<uint8_t>& buffer,
                  double seconds) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> pieces;
  const Clock::time_point start = Clock::now();
  do {
    for (size_t offset = 0; offset + kPieceLength <= buffer.size(); offset += kPieceLength) {
      uint8_t* piece = buffer.data() + offset;
      const Clock::time_point pieceStart = Clock::now();
      CryptIDEABlocks(path, schedule, piece, piece, kPieceLength / 8);
      pieces.push_back(std::chrono::duration<double>(Clock::now() - pieceStart).count());
    }
  } while (Clock::now() - start < std::chrono::duration<double>(seconds));
  std::sort(pieces.begin(), pieces.end());
  const double megabytes = static_cast<double>(kPieceLength) / 1e6;
  return {megabytes / pieces.front(), megabytes / pieces[pieces.size() / 2]};
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
  std::vector<uint8_t> buffer(kBufferLength);
  uint32_t state = 1;
  for (uint8_t& byte : buffer) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  const uint8_t key[16] = {0x2B, 0xD6, 0x45, 0x9F, 0x82, 0xC5, 0xB3, 0x00,
                           0x95, 0x2C, 0x49, 0x10, 0x48, 0x81, 0xFF, 0x48};
  IDEASchedule decryption;
  MakeIDEADecryptionSchedule(key, sizeof key, decryption);
  IDEASchedule encryption;
  MakeIDEAEncryptionSchedule(key, sizeof key, encryption);

  std::printf("IDEA, one thread, %u-bit build, in place, %zu-byte pieces of a %zu-byte "
              "buffer; MB/s of the best and the median piece\n",
              static_cast<unsigned>(8 * sizeof(void*)), kPieceLength, buffer.size());
  std::printf("  %-7s %14s %14s %14s %14s %10s\n", "path", "decrypt best", "decrypt median",
              "encrypt best", "encrypt median", "x scalar");
  double scalar = 0;
  for (IDEAPath path : {IDEAPath::kScalar, IDEAPath::kSSE2, IDEAPath::kAVX2, IDEAPath::kAVX512}) {
    if (!IsIDEAPathAvailable(path)) {
      std::printf("  %-7s not available on this processor\n", IDEAPathName(path));
      continue;
    }
    const Speed decrypt = MeasurePath(path, decryption, buffer, seconds);
    const Speed encrypt = MeasurePath(path, encryption, buffer, seconds);
    if (path == IDEAPath::kScalar) scalar = decrypt.best;
    std::printf("  %-7s %14.1f %14.1f %14.1f %14.1f %10.2f%s\n", IDEAPathName(path),
                decrypt.best, decrypt.median, encrypt.best, encrypt.median, decrypt.best / scalar,
                path == FastestIDEAPath() ? "  (the one in use)" : "");
  }
  return 0;
}
