// What each Windows call of the install costs per file on this system, in the installer's
// own sequence: for every file the package is opened, positioned and read (a chunk header
// and 16 KiB of data), a temporary file is created, written, flushed, closed and moved over
// the target, and the dialog's thread is sent the two progress steps. Under Wine every
// such call is a round trip to its server; this shows which ones the time goes to.
//
//   file-op-cost [FOLDER] [FILES]     (defaults: the current folder, 2000)

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD kFileLength = 16384;

enum Step {
  kOpenPackage, kSeek, kReadHeader, kReadData, kClosePackage,
  kCreateTemporary, kWrite, kFlush, kCloseTemporary, kMove, kProgressSteps, kStepCount
};
const char* const kStepNames[kStepCount] = {
    "open the package",        "seek to the entry",       "read the chunk header",
    "read 16 KiB of data",     "close the package",       "create the temporary file",
    "write 16 KiB",            "flush",                   "close the temporary file",
    "move it over the target", "two progress steps (sent)"};

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

struct Clock {
  double ticks[kStepCount] = {};
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

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = std::string(argc > 1 ? argv[1] : ".") + "\\file-op-cost";
  const int files = argc > 2 ? std::atoi(argv[2]) : 2000;
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string package = folder + "\\package.bin";
  const std::vector<char> data(kFileLength + 8, 'x');
  {
    HANDLE file = CreateFileA(package.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(file);
  }
  InitCommonControls();
  ProgressReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, ProgressThread, nullptr, 0, nullptr);
  WaitForSingleObject(ProgressReady, INFINITE);
  SendMessageW(ProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 2 * files));
  SendMessageW(ProgressBar, PBM_SETSTEP, 1, 0);

  std::vector<char> buffer(data.size());
  Clock clock;
  const LARGE_INTEGER started = clock.last;
  for (int i = 0; i < files; ++i) {
    HANDLE in = CreateFileA(package.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    clock.Lap(kOpenPackage);
    SetFilePointer(in, 0, nullptr, FILE_BEGIN);
    clock.Lap(kSeek);
    DWORD read = 0;
    ReadFile(in, buffer.data(), 8, &read, nullptr);
    clock.Lap(kReadHeader);
    ReadFile(in, buffer.data() + 8, kFileLength, &read, nullptr);
    clock.Lap(kReadData);
    CloseHandle(in);
    clock.Lap(kClosePackage);

    const std::string target = folder + "\\file" + std::to_string(i % 500) + ".dat";
    const std::string temporary = target + ".~tmp";
    HANDLE out = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    clock.Lap(kCreateTemporary);
    DWORD written = 0;
    WriteFile(out, buffer.data() + 8, kFileLength, &written, nullptr);
    clock.Lap(kWrite);
    FlushFileBuffers(out);
    clock.Lap(kFlush);
    CloseHandle(out);
    clock.Lap(kCloseTemporary);
    MoveFileExA(temporary.c_str(), target.c_str(),
                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    clock.Lap(kMove);
    SendMessageW(ProgressBar, PBM_STEPIT, 0, 0);
    SendMessageW(ProgressBar, PBM_STEPIT, 0, 0);
    clock.Lap(kProgressSteps);
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const double total = static_cast<double>(clock.last.QuadPart - started.QuadPart);
  std::printf("%d files of %lu bytes; per file:\n", files, static_cast<unsigned long>(kFileLength));
  for (int step = 0; step < kStepCount; ++step) {
    std::printf("  %-28s %9.1f us %5.1f %%\n", kStepNames[step],
                clock.ticks[step] * 1e6 / static_cast<double>(frequency.QuadPart) / files,
                100.0 * clock.ticks[step] / total);
  }
  std::printf("  %-28s %9.1f us\n", "all",
              total * 1e6 / static_cast<double>(frequency.QuadPart) / files);

  PostMessageW(ProgressBar, WM_CLOSE, 0, 0);
  PostThreadMessageW(GetThreadId(thread), WM_QUIT, 0, 0);
  WaitForSingleObject(thread, 5000);
  for (int i = 0; i < 500 && i < files; ++i) {
    DeleteFileA((folder + "\\file" + std::to_string(i) + ".dat").c_str());
  }
  DeleteFileA(package.c_str());
  RemoveDirectoryA(folder.c_str());
  return 0;
}
