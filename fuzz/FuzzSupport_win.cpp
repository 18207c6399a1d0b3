#include "FuzzTarget.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

// One file in the temporary folder. It is rewritten and closed for every input: the
// reader shares reading only, so no writer may hold it open meanwhile.
const NativePath& TheFuzzFile() {
  static const NativePath path = [] {
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, folder);
    NativePath file = NativePath(folder) + L"vantis-fuzz-" + std::to_wstring(GetCurrentProcessId()) +
                      L".bin";
    // Copied out: the handler runs after the static has been destroyed.
    static wchar_t removedPath[MAX_PATH + 64];
    std::swprintf(removedPath, sizeof removedPath / sizeof removedPath[0], L"%ls", file.c_str());
    std::atexit([] { DeleteFileW(removedPath); });
    return file;
  }();
  return path;
}

}  // namespace

const NativePath& FuzzFilePath() { return TheFuzzFile(); }

void WriteFuzzFile(const void* data, size_t size) {
  HANDLE file = CreateFileW(TheFuzzFile().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  const bool ok = file != INVALID_HANDLE_VALUE && size <= MAXDWORD &&
                  WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) &&
                  written == size;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!ok) {
    std::fprintf(stderr, "cannot write the fuzz input file (error %lu)\n", GetLastError());
    std::abort();
  }
}
