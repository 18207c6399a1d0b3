// What each Windows call of the install costs per file on this system, in the installer's
// own sequence: for every file the package is opened, positioned and read (a chunk header
// and 16 KiB of data), a temporary file is created, written, made durable, closed and
// moved over the target, and the dialog's thread is told of the progress. Under Wine every
// such call is a round trip to its server; this shows which ones the time goes to.
//
// The ways of making the files durable and of reporting progress are timed side by side:
//   flush each       FlushFileBuffers per file, moved with MOVEFILE_WRITE_THROUGH, two
//                    progress steps sent per file (the installer as it was)
//   write out each   the data written out of the cache without a flush of the disk's cache
//                    (NtFlushBuffersFileEx, FLUSH_FLAGS_FILE_DATA_ONLY; where that is
//                    missing, as under Wine 8, FlushFileBuffers), plain move, one
//                    FlushFileBuffers at the end, progress moved at most every 40 ms (the
//                    installer on Windows 8 and later)
//   flush batched    nothing per file, plain move; every file reopened and flushed
//                    later, one after another, counted at the end; progress as above
//   side by side     as flush batched, but 64 files at a time are flushed by four threads
//                    at once (the installer where NtFlushBuffersFileEx is missing, Wine
//                    included)
//   no flush         nothing per file, one FlushFileBuffers at the end, progress as above:
//                    what the calls cost without any guarantee, for comparison
//   write-through    created with FILE_FLAG_WRITE_THROUGH, no flush, progress as above
//
//   file-op-cost [FOLDER] [FILES]     (defaults: the current folder, 2000)

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD kFileLength = 16384;
constexpr DWORD kProgressIntervalMs = 40;
constexpr int kTargetCount = 500;

enum Step {
  kOpenPackage, kSeek, kReadHeader, kReadData, kClosePackage,
  kCreateTemporary, kWrite, kMakeDurable, kCloseTemporary, kMove, kProgress, kAtTheEnd,
  kStepCount
};
const char* const kStepNames[kStepCount] = {
    "open the package",        "seek to the entry",       "read the chunk header",
    "read 16 KiB of data",     "close the package",       "create the temporary file",
    "write 16 KiB",            "flush / write out",       "close the temporary file",
    "move it over the target", "progress",                "at the end (per file)"};

enum Variant {
  kFlushEach, kWriteOutEach, kFlushBatched, kSideBySide, kNoFlush, kWriteThrough, kVariantCount
};
const char* const kVariantNames[kVariantCount] = {"flush each",   "write out each",
                                                  "flush batched", "side by side",
                                                  "no flush",     "write-through"};

// A call that fails makes every figure after it meaningless: the run stops, naming it.
void Check(bool succeeded, const char* call) {
  if (succeeded) return;
  std::fprintf(stderr, "file-op-cost: %s failed, error %lu\n", call,
               static_cast<unsigned long>(GetLastError()));
  std::exit(1);
}

HANDLE CheckedOpen(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                   DWORD attributes) {
  HANDLE file = CreateFileA(path.c_str(), access, share, nullptr, disposition, attributes, nullptr);
  Check(file != INVALID_HANDLE_VALUE, "CreateFileA");
  return file;
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

struct Clock {
  double ticks[kStepCount] = {};
  bool estimated[kStepCount] = {};  // scaled from fewer calls than files
  LARGE_INTEGER last = Now();
  void Lap(Step step) {
    const LARGE_INTEGER now = Now();
    ticks[step] += static_cast<double>(now.QuadPart - last.QuadPart);
    last = now;
  }
};

// A progress bar owned by a thread of its own, as the dialog's is for the worker.
HWND ProgressBar = nullptr;
HANDLE ProgressReady = nullptr;

DWORD WINAPI ProgressThread(LPVOID) {
  ProgressBar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                300, 40, nullptr, nullptr, nullptr, nullptr);
  SetEvent(ProgressReady);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

using FlushBuffersFileEx = LONG(NTAPI*)(HANDLE, ULONG, void*, ULONG, void*);
constexpr ULONG kFlushFileDataOnly = 1;

FlushBuffersFileEx FindWriteOut() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll ? reinterpret_cast<FlushBuffersFileEx>(
                     reinterpret_cast<void*>(GetProcAddress(ntdll, "NtFlushBuffersFileEx")))
               : nullptr;
}

constexpr int kBatchLength = 64;

struct FlushBatch {
  HANDLE files[kBatchLength] = {};
  int count = 0;
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
};

DWORD WINAPI FlushFiles(LPVOID parameter) {
  FlushBatch& batch = *static_cast<FlushBatch*>(parameter);
  for (int i = batch.next++; i < batch.count; i = batch.next++) {
    if (!FlushFileBuffers(batch.files[i])) batch.failed = true;
  }
  return 0;
}

std::string TargetPath(const std::string& folder, int i) {
  return folder + "\\file" + std::to_string(i % kTargetCount) + ".dat";
}

void Run(Variant variant, const std::string& folder, const std::string& package, int files,
         Clock& clock) {
  static const FlushBuffersFileEx writeOut = FindWriteOut();
  SendMessageW(ProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 2 * files));
  SendMessageW(ProgressBar, PBM_SETSTEP, 1, 0);
  SendMessageW(ProgressBar, PBM_SETPOS, 0, 0);
  std::vector<char> buffer(kFileLength + 8);
  DWORD lastMove = GetTickCount();
  int pendingSteps = 0;
  clock.last = Now();
  for (int i = 0; i < files; ++i) {
    HANDLE in = CheckedOpen(package, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL);
    clock.Lap(kOpenPackage);
    Check(SetFilePointer(in, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER,
          "SetFilePointer");
    clock.Lap(kSeek);
    DWORD read = 0;
    Check(ReadFile(in, buffer.data(), 8, &read, nullptr) && read == 8, "ReadFile");
    clock.Lap(kReadHeader);
    Check(ReadFile(in, buffer.data() + 8, kFileLength, &read, nullptr) && read == kFileLength,
          "ReadFile");
    clock.Lap(kReadData);
    Check(CloseHandle(in), "CloseHandle");
    clock.Lap(kClosePackage);

    const std::string target = TargetPath(folder, i);
    const std::string temporary = target + ".~tmp";
    const DWORD attributes = FILE_ATTRIBUTE_NORMAL |
                             (variant == kWriteThrough ? FILE_FLAG_WRITE_THROUGH : 0);
    HANDLE out = CheckedOpen(temporary, GENERIC_WRITE, 0, CREATE_NEW, attributes);
    clock.Lap(kCreateTemporary);
    DWORD written = 0;
    Check(WriteFile(out, buffer.data() + 8, kFileLength, &written, nullptr) &&
              written == kFileLength,
          "WriteFile");
    clock.Lap(kWrite);
    if (variant == kFlushEach) {
      Check(FlushFileBuffers(out), "FlushFileBuffers");
    } else if (variant == kWriteOutEach) {
      ULONG_PTR status[2] = {};
      if (!writeOut || writeOut(out, kFlushFileDataOnly, nullptr, 0, status) < 0) {
        Check(FlushFileBuffers(out), "FlushFileBuffers");
      }
    }
    clock.Lap(kMakeDurable);
    Check(CloseHandle(out), "CloseHandle");
    clock.Lap(kCloseTemporary);
    Check(MoveFileExA(temporary.c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING |
                          (variant == kFlushEach ? MOVEFILE_WRITE_THROUGH : 0)),
          "MoveFileExA");
    clock.Lap(kMove);
    if (variant == kFlushEach) {
      SendMessageW(ProgressBar, PBM_STEPIT, 0, 0);
      SendMessageW(ProgressBar, PBM_STEPIT, 0, 0);
    } else {
      pendingSteps += 2;
      if (GetTickCount() - lastMove >= kProgressIntervalMs) {
        SendMessageW(ProgressBar, PBM_DELTAPOS, static_cast<WPARAM>(pendingSteps), 0);
        pendingSteps = 0;
        lastMove = GetTickCount();
      }
    }
    clock.Lap(kProgress);
  }
  if (pendingSteps > 0) SendMessageW(ProgressBar, PBM_DELTAPOS, static_cast<WPARAM>(pendingSteps), 0);
  if (variant == kFlushBatched) {
    for (int i = 0; i < kTargetCount && i < files; ++i) {
      HANDLE out = CheckedOpen(TargetPath(folder, i), GENERIC_WRITE, 0, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL);
      Check(FlushFileBuffers(out), "FlushFileBuffers");
      Check(CloseHandle(out), "CloseHandle");
    }
  } else if (variant == kSideBySide) {
    for (int first = 0; first < kTargetCount && first < files; first += kBatchLength) {
      FlushBatch batch;
      for (int i = first; i < first + kBatchLength && i < kTargetCount && i < files; ++i) {
        batch.files[batch.count++] = CheckedOpen(TargetPath(folder, i), GENERIC_WRITE, 0,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
      }
      HANDLE helpers[3];
      for (HANDLE& helper : helpers) {
        helper = CreateThread(nullptr, 64 * 1024, FlushFiles, &batch,
                              STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        Check(helper != nullptr, "CreateThread");
      }
      FlushFiles(&batch);
      Check(WaitForMultipleObjects(3, helpers, TRUE, INFINITE) != WAIT_FAILED,
            "WaitForMultipleObjects");
      Check(!batch.failed, "FlushFileBuffers");
      for (HANDLE helper : helpers) CloseHandle(helper);
      for (int i = 0; i < batch.count; ++i) Check(CloseHandle(batch.files[i]), "CloseHandle");
    }
  } else if (variant != kFlushEach && variant != kWriteThrough) {
    HANDLE out = CheckedOpen(TargetPath(folder, 0), GENERIC_WRITE, 0, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL);
    Check(FlushFileBuffers(out), "FlushFileBuffers");
    Check(CloseHandle(out), "CloseHandle");
  }
  clock.Lap(kAtTheEnd);
  // Only kTargetCount names exist; an install reopens every file it wrote.
  if ((variant == kFlushBatched || variant == kSideBySide) && files > kTargetCount) {
    clock.ticks[kAtTheEnd] *= static_cast<double>(files) / kTargetCount;
    clock.estimated[kAtTheEnd] = true;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = std::string(argc > 1 ? argv[1] : ".") + "\\file-op-cost";
  const int files = argc > 2 ? std::atoi(argv[2]) : 2000;
  Check(files > 0, "reading the number of files");
  Check(CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS,
        "CreateDirectoryA");
  const std::string package = folder + "\\package.bin";
  const std::vector<char> data(kFileLength + 8, 'x');
  {
    HANDLE file = CheckedOpen(package, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    DWORD written = 0;
    Check(WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
              written == data.size(),
          "WriteFile");
    Check(CloseHandle(file), "CloseHandle");
  }
  InitCommonControls();
  ProgressReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Check(ProgressReady != nullptr, "CreateEventW");
  HANDLE thread = CreateThread(nullptr, 0, ProgressThread, nullptr, 0, nullptr);
  Check(thread != nullptr, "CreateThread");
  Check(WaitForSingleObject(ProgressReady, INFINITE) == WAIT_OBJECT_0, "WaitForSingleObject");
  Check(ProgressBar != nullptr, "CreateWindowExW");

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const double toMicroseconds = 1e6 / static_cast<double>(frequency.QuadPart) / files;
  Clock clocks[kVariantCount];
  for (int variant = 0; variant < kVariantCount; ++variant) {
    Run(static_cast<Variant>(variant), folder, package, files, clocks[variant]);
  }
  std::printf("%d files of %lu bytes; microseconds per file (NtFlushBuffersFileEx %s):\n", files,
              static_cast<unsigned long>(kFileLength),
              FindWriteOut() ? "present" : "missing, FlushFileBuffers instead");
  std::printf("  %-26s", "");
  for (const char* name : kVariantNames) std::printf(" %14s", name);
  std::printf("\n");
  double totals[kVariantCount] = {};
  bool totalEstimated[kVariantCount] = {};
  bool anyEstimated = false;
  for (int step = 0; step < kStepCount; ++step) {
    std::printf("  %-26s", kStepNames[step]);
    for (int variant = 0; variant < kVariantCount; ++variant) {
      const double us = clocks[variant].ticks[step] * toMicroseconds;
      const bool estimated = clocks[variant].estimated[step];
      totals[variant] += us;
      totalEstimated[variant] = totalEstimated[variant] || estimated;
      anyEstimated = anyEstimated || estimated;
      std::printf(estimated ? " %13.1f*" : " %14.1f", us);
    }
    std::printf("\n");
  }
  std::printf("  %-26s", "all");
  for (int variant = 0; variant < kVariantCount; ++variant) {
    std::printf(totalEstimated[variant] ? " %13.1f*" : " %14.1f", totals[variant]);
  }
  std::printf("\n");
  if (anyEstimated) {
    std::printf("  * estimated: %d files reopened and flushed, scaled to %d\n", kTargetCount,
                files);
  }

  PostMessageW(ProgressBar, WM_CLOSE, 0, 0);
  PostThreadMessageW(GetThreadId(thread), WM_QUIT, 0, 0);
  WaitForSingleObject(thread, 5000);
  for (int i = 0; i < kTargetCount && i < files; ++i) DeleteFileA(TargetPath(folder, i).c_str());
  DeleteFileA(package.c_str());
  RemoveDirectoryA(folder.c_str());
  return 0;
}
