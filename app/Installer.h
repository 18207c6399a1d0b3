#pragma once
// The installer's process-wide state and the one private window message. Start-up writes
// GameFolder and AppIcon before the dialog exists; afterwards they are only read.
//
// The dialog's thread and the worker share only the atomics below and synchronous window
// messages: InstallRunning is set by the dialog before the worker starts and cleared by the
// worker; CancelRequested is set by the dialog and polled by the worker; InstallSucceeded is
// stored by the worker before it clears InstallRunning and sends WM_INSTALL_DONE, and read
// by start-up once the dialog has ended.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "resources/ResourceIds.h"

// Sent by the worker to DialogWindow as its last act; wParam and lParam are 0.
constexpr UINT WM_INSTALL_DONE = WM_USER + 2000;

// The installer's own folder followed by "..\": the prefix of every path the install writes.
// UTF-16, so that a folder name outside the ANSI code page is reached all the same.
extern std::wstring GameFolder;

extern HICON AppIcon;

// Stored by the dialog procedure on every message, read by the worker.
extern std::atomic<HWND> DialogWindow;

extern std::atomic<uint8_t> InstallRunning;
extern std::atomic<uint8_t> CancelRequested;
extern std::atomic<uint8_t> InstallSucceeded;

// Nothing waits on the worker or closes this handle: the process ends after the dialog.
extern HANDLE WorkerThread;
