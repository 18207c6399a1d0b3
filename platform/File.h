#pragma once
// The few file operations the portable core needs. The Win32 build maps each one onto
// exactly one kernel32 call; the POSIX build mirrors those calls' observable behaviour
// (a 32-bit signed seek distance, a read that may deliver fewer bytes at the end of the
// file) so that the core behaves the same on both.

#include <cstdint>
#include <string>

using FileHandle = std::intptr_t;
constexpr FileHandle kInvalidFile = -1;

// A path as the system's file functions take it. On Windows that is UTF-16: a path taken
// from the system in the ANSI code page loses every character outside that code page.
#ifdef _WIN32
using NativePath = std::wstring;
#else
using NativePath = std::string;
#endif

// CreateFileW(GENERIC_READ, FILE_SHARE_READ, no security, OPEN_EXISTING,
// FILE_ATTRIBUTE_NORMAL, no template). Returns kInvalidFile on failure.
FileHandle OpenFileForSharedRead(const NativePath& path);

// GetFileSize without a high part: the low 32 bits of the size.
bool GetFileSize32(FileHandle file, uint32_t* size);

// SetFilePointer(distance, no high part, FILE_BEGIN). The distance is a signed 32-bit
// value there, so an offset with bit 31 set cannot be reached and fails, leaving the
// position where it was. `newPosition` may be null.
bool SeekFileFromStart(FileHandle file, uint32_t offset, uint32_t* newPosition);

// One synchronous ReadFile of `count` bytes at the current position. Succeeds with
// fewer bytes (possibly none) at the end of the file.
bool ReadFileBytes(FileHandle file, void* buffer, uint32_t count, uint32_t* bytesRead);

// A read that counts only when it delivers exactly `count` bytes.
inline bool ReadFileExact(FileHandle file, void* buffer, uint32_t count) {
  uint32_t bytesRead = 0;
  return ReadFileBytes(file, buffer, count, &bytesRead) && bytesRead == count;
}

void CloseFile(FileHandle file);

// Owns one handle for the length of one operation.
class ScopedFile {
 public:
  explicit ScopedFile(FileHandle file) : file_(file) {}
  ~ScopedFile() {
    if (file_ != kInvalidFile) CloseFile(file_);
  }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;

  bool IsOpen() const { return file_ != kInvalidFile; }
  FileHandle Get() const { return file_; }

 private:
  FileHandle file_;
};
