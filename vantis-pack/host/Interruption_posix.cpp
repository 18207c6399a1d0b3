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

constexpr int kSuffixCount = 4;
constexpr size_t kSuffixCapacity = 8;

struct NumberedFolderSlot {
  volatile std::sig_atomic_t used = 0;
  size_t fileCount = 0;
  size_t pathLength = 0;
  char path[kPathCapacity] = {};
  char suffixes[kSuffixCount][kSuffixCapacity] = {};
};

NumberedFolderSlot numberedFolder;

// Writes `value` in decimal at `out`; returns the number of digits.
size_t PutDecimal(size_t value, char* out) {
  char digits[24];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (size_t i = 0; i < count; ++i) out[i] = digits[count - 1 - i];
  return count;
}

// Only async-signal-safe calls: unlink and rmdir, on names built in a buffer of its own.
void DeleteNumberedFolder() {
  if (!numberedFolder.used) return;
  static char name[kPathCapacity + 48];
  std::memcpy(name, numberedFolder.path, numberedFolder.pathLength);
  name[numberedFolder.pathLength] = '/';
  for (size_t n = 0; n < numberedFolder.fileCount; ++n) {
    const size_t digitsEnd = numberedFolder.pathLength + 1 + PutDecimal(n, name + numberedFolder.pathLength + 1);
    for (const char* suffix : numberedFolder.suffixes) {
      if (suffix[0] == '\0') continue;
      std::memcpy(name + digitsEnd, suffix, kSuffixCapacity);
      ::unlink(name);
    }
  }
  ::rmdir(numberedFolder.path);
}

// Only async-signal-safe calls: unlink, rmdir and _exit.
extern "C" void DeleteTemporaryFilesAndExit(int signalNumber) {
  for (TemporaryFileSlot& slot : temporaryFiles) {
    if (slot.used) ::unlink(slot.path);
  }
  DeleteNumberedFolder();
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

bool RememberNumberedFolder(const std::filesystem::path& folder, size_t fileCount,
                            std::initializer_list<const char*> suffixes) {
  const std::string& native = folder.native();
  if (native.size() >= kPathCapacity || suffixes.size() > kSuffixCount) return false;
  numberedFolder.used = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(numberedFolder.path, native.c_str(), native.size() + 1);
  numberedFolder.pathLength = native.size();
  numberedFolder.fileCount = fileCount;
  int i = 0;
  for (const char* suffix : suffixes) {
    std::strncpy(numberedFolder.suffixes[i], suffix, kSuffixCapacity - 1);
    numberedFolder.suffixes[i++][kSuffixCapacity - 1] = '\0';
  }
  for (; i < kSuffixCount; ++i) numberedFolder.suffixes[i][0] = '\0';
  std::atomic_signal_fence(std::memory_order_seq_cst);
  numberedFolder.used = 1;
  return true;
}

void ForgetNumberedFolder() { numberedFolder.used = 0; }
