#include "app/Installer.h"

// Lock-free, so that the flags are plain byte loads and stores that never block the
// dialog's thread.
static_assert(std::atomic<uint8_t>::is_always_lock_free);
static_assert(std::atomic<HWND>::is_always_lock_free);

std::wstring GameFolder;
HICON AppIcon = nullptr;
std::atomic<HWND> DialogWindow{nullptr};
std::atomic<uint8_t> InstallRunning{0};
std::atomic<uint8_t> CancelRequested{0};
std::atomic<uint8_t> InstallSucceeded{0};
HANDLE WorkerThread = nullptr;
