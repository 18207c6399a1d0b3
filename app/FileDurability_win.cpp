#include "app/FileDurability.h"

#include <atomic>
#include <cassert>

#include "app/Installer.h"
#include "app/WideText.h"

namespace {

// ntdll's NtFlushBuffersFileEx and its flag, as the driver kit's ntifs.h declares them.
using FlushBuffersFileEx = LONG(NTAPI*)(HANDLE file, ULONG flags, void* parameters,
                                       ULONG parameterLength, void* ioStatus);
constexpr ULONG kFlushFileDataOnly = 0x00000001;

FlushBuffersFileEx FindWriteOut() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return nullptr;
  return reinterpret_cast<FlushBuffersFileEx>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtFlushBuffersFileEx")));
}

FlushBuffersFileEx WriteOut() {
  static const FlushBuffersFileEx writeOut = FindWriteOut();
  return writeOut;
}

// Helpers beside the worker while a batch is flushed; each flush mostly waits for the disk.
constexpr DWORD kFlushThreadCount = 3;
constexpr SIZE_T kFlushThreadStack = 64 * 1024;

struct FlushBatch {
  HANDLE files[kFlushBatchLimit] = {};
  bool flushed[kFlushBatchLimit] = {};
  size_t count = 0;
  std::atomic<size_t> next{0};
};

// Takes the batch's files one at a time until none is left; any number of threads at once.
DWORD WINAPI FlushFiles(LPVOID parameter) {
  FlushBatch& batch = *static_cast<FlushBatch*>(parameter);
  for (size_t i = batch.next++; i < batch.count; i = batch.next++) {
    batch.flushed[i] =
        batch.files[i] != INVALID_HANDLE_VALUE && FlushFileBuffers(batch.files[i]) != FALSE;
  }
  return 0;
}

}  // namespace

bool WriteOutFileData(HANDLE file) {
  const FlushBuffersFileEx writeOut = WriteOut();
  if (!writeOut) return true;
  // An IO_STATUS_BLOCK: a status (or pointer) and a ULONG_PTR.
  ULONG_PTR ioStatus[2] = {};
  if (writeOut(file, kFlushFileDataOnly, nullptr, 0, ioStatus) >= 0) return true;
  // Not every file system takes the flag (FAT, some network shares): a full flush instead.
  return FlushFileBuffers(file) != FALSE;
}

bool InstalledFilesNeedFlush() {
  return WriteOut() == nullptr;
}

size_t FlushInstalledFiles(const std::string* const* relativeNames, size_t count) {
  assert(count <= kFlushBatchLimit);
  FlushBatch batch;
  batch.count = count;
  for (size_t i = 0; i < count; ++i) {
    // Shared with everyone: another program may hold the file open by now, which does not
    // stop its data from being flushed.
    batch.files[i] =
        CreateFileW((GameFolder + WidenAnsiCodePage(*relativeNames[i])).c_str(), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  HANDLE threads[kFlushThreadCount];
  DWORD started = 0;
  while (started < kFlushThreadCount && started + 1 < count) {
    threads[started] = CreateThread(nullptr, kFlushThreadStack, FlushFiles, &batch,
                                    STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!threads[started]) break;
    ++started;
  }
  // The worker flushes too, and alone when no thread could be started.
  FlushFiles(&batch);
  if (started > 0) WaitForMultipleObjects(started, threads, TRUE, INFINITE);
  for (DWORD i = 0; i < started; ++i) CloseHandle(threads[i]);
  size_t firstFailed = count;
  for (size_t i = count; i-- > 0;) {
    if (batch.files[i] != INVALID_HANDLE_VALUE) CloseHandle(batch.files[i]);
    if (!batch.flushed[i]) firstFailed = i;
  }
  return firstFailed;
}
