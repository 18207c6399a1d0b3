#include "vantis-pack/host/Interruption.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace {

constexpr int kSlotCount = 4;  // one staged file at a time is all the commands hold
constexpr size_t kPathCapacity = 4096;

struct TemporaryFileSlot {
  volatile std::sig_atomic_t used = 0;
  char path[kPathCapacity] = {};
};

TemporaryFileSlot temporaryFiles[kSlotCount];

// Only async-signal-safe calls: unlink and _exit.
extern "C" void DeleteTemporaryFilesAndExit(int signalNumber) {
  for (TemporaryFileSlot& slot : temporaryFiles) {
    if (slot.used) ::unlink(slot.path);
  }
  ::_exit(128 + signalNumber);
}

}  // namespace

void InstallInterruptionCleanup() {
  struct sigaction action {};
  action.sa_handler = DeleteTemporaryFilesAndExit;
  sigemptyset(&action.sa_mask);
  // One handler at a time: a second signal waits until the first has cleaned up.
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signalNumber);
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaction(signalNumber, &action, nullptr);
}

int RememberTemporaryFile(const std::filesystem::path& path) {
  const std::string& native = path.native();
  if (native.size() >= kPathCapacity) return -1;
  for (int i = 0; i < kSlotCount; ++i) {
    TemporaryFileSlot& slot = temporaryFiles[i];
    if (slot.used) continue;
    std::memcpy(slot.path, native.c_str(), native.size() + 1);
    // The path must be complete before a handler can see the slot in use.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot.used = 1;
    return i;
  }
  return -1;
}

void ForgetTemporaryFile(int slot) {
  if (slot >= 0 && slot < kSlotCount) temporaryFiles[slot].used = 0;
}
