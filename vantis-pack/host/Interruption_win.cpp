#include "vantis-pack/host/Interruption.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>
#include <cstring>

namespace {

constexpr int kSlotCount = 4;  // one staged file at a time is all the commands hold
constexpr size_t kPathCapacity = 32768;  // the longest path the wide functions take

struct TemporaryFileSlot {
  std::atomic<bool> used{false};
  wchar_t path[kPathCapacity] = {};
};

TemporaryFileSlot temporaryFiles[kSlotCount];

struct NumberedFolder {
  std::atomic<bool> used{false};
  size_t fileCount = 0;
  std::wstring path;
  std::vector<std::wstring> suffixes;
};

NumberedFolder numberedFolder;

// Files still open for writing stay; the rest go, then the folder if that emptied it.
void DeleteNumberedFolder() {
  if (!numberedFolder.used.load()) return;
  for (size_t n = 0; n < numberedFolder.fileCount; ++n) {
    for (const std::wstring& suffix : numberedFolder.suffixes) {
      DeleteFileW((numberedFolder.path + L"\\" + std::to_wstring(n) + suffix).c_str());
    }
  }
  RemoveDirectoryW(numberedFolder.path.c_str());
}

// Runs on a thread of its own while the command goes on. The staged file is open with
// FILE_SHARE_DELETE, so the deletion takes effect when the exit closes its handle.
BOOL WINAPI DeleteTemporaryFilesAndExit(DWORD event) {
  for (TemporaryFileSlot& slot : temporaryFiles) {
    if (slot.used.load()) DeleteFileW(slot.path);
  }
  DeleteNumberedFolder();
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

bool RememberNumberedFolder(const std::filesystem::path& folder, size_t fileCount,
                            std::initializer_list<const char*> suffixes) {
  numberedFolder.used.store(false);
  numberedFolder.path = folder.native();
  numberedFolder.fileCount = fileCount;
  numberedFolder.suffixes.clear();
  for (const char* suffix : suffixes) {
    numberedFolder.suffixes.push_back(std::filesystem::path(suffix).native());
  }
  numberedFolder.used.store(true);
  return true;
}

void ForgetNumberedFolder() { numberedFolder.used.store(false); }
