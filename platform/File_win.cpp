#include "platform/File.h"

#include <windows.h>

namespace {

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

FileHandle OpenFileForSharedRead(const NativePath& path) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return kInvalidFile;
  return reinterpret_cast<FileHandle>(handle);
}

bool GetFileSize32(FileHandle file, uint32_t* size) {
  DWORD low = GetFileSize(ToHandle(file), nullptr);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  *size = low;
  return true;
}

bool SeekFileFromStart(FileHandle file, uint32_t offset, uint32_t* newPosition) {
  // Without a high part the distance is a signed LONG; bit 31 makes it negative.
  DWORD position = SetFilePointer(ToHandle(file), static_cast<LONG>(offset), nullptr, FILE_BEGIN);
  if (position == INVALID_SET_FILE_POINTER) return false;
  if (newPosition) *newPosition = position;
  return true;
}

bool ReadFileBytes(FileHandle file, void* buffer, uint32_t count, uint32_t* bytesRead) {
  DWORD got = 0;
  BOOL ok = ReadFile(ToHandle(file), buffer, count, &got, nullptr);
  *bytesRead = got;
  return ok != FALSE;
}

void CloseFile(FileHandle file) { CloseHandle(ToHandle(file)); }
