#include "vantis-pack/host/Interruption.h"

#include <windows.h>

#include <atomic>
#include <cstring>

namespace {

constexpr int kSlotCount = 4;  // one staged file at a time is all the commands hold
constexpr size_t kPathCapacity = 32768;  // the longest path the wide functions take

struct TemporaryFileSlot {
  std::atomic<bool> used{false};
  wchar_t path[kPathCapacity] = {};
};

TemporaryFileSlot temporaryFiles[kSlotCount];

// Runs on a thread of its own while the command goes on. The staged file is open with
// FILE_SHARE_DELETE, so the deletion takes effect when the exit closes its handle.
BOOL WINAPI DeleteTemporaryFilesAndExit(DWORD event) {
  for (TemporaryFileSlot& slot : temporaryFiles) {
    if (slot.used.load()) DeleteFileW(slot.path);
  }
  ExitProcess(event == CTRL_C_EVENT ? 130 : 143);
  return TRUE;
}

}  // namespace

void InstallInterruptionCleanup() { SetConsoleCtrlHandler(DeleteTemporaryFilesAndExit, TRUE); }

int RememberTemporaryFile(const std::filesystem::path& path) {
  const std::wstring& native = path.native();
  if (native.size() >= kPathCapacity) return -1;
  for (int i = 0; i < kSlotCount; ++i) {
    TemporaryFileSlot& slot = temporaryFiles[i];
    if (slot.used.load()) continue;
    std::memcpy(slot.path, native.c_str(), (native.size() + 1) * sizeof(wchar_t));
    slot.used.store(true);
    return i;
  }
  return -1;
}

void ForgetTemporaryFile(int slot) {
  if (slot >= 0 && slot < kSlotCount) temporaryFiles[slot].used.store(false);
}
