#include "platform/File.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int ToDescriptor(FileHandle file) { return static_cast<int>(file); }

}  // namespace

FileHandle OpenFileForSharedRead(const NativePath& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kInvalidFile;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {  // CreateFileA refuses folders too
    ::close(fd);
    return kInvalidFile;
  }
  return fd;
}

bool GetFileSize32(FileHandle file, uint32_t* size) {
  struct stat info {};
  if (::fstat(ToDescriptor(file), &info) != 0) return false;
  *size = static_cast<uint32_t>(static_cast<uint64_t>(info.st_size));
  return true;
}

bool SeekFileFromStart(FileHandle file, uint32_t offset, uint32_t* newPosition) {
  // Same reach as SetFilePointer without a high part: a signed 32-bit distance.
  if (offset > 0x7FFFFFFFu) return false;
  off_t position = ::lseek(ToDescriptor(file), static_cast<off_t>(offset), SEEK_SET);
  if (position < 0) return false;
  if (newPosition) *newPosition = static_cast<uint32_t>(position);
  return true;
}

bool ReadFileBytes(FileHandle file, void* buffer, uint32_t count, uint32_t* bytesRead) {
  // ReadFile on a disk file delivers everything up to the end of the file in one call;
  // read(2) may return less, so keep reading until the count or the end of the file.
  auto* out = static_cast<unsigned char*>(buffer);
  uint32_t total = 0;
  while (total < count) {
    ssize_t got = ::read(ToDescriptor(file), out + total, count - total);
    if (got < 0) {
      if (errno == EINTR) continue;
      *bytesRead = total;
      return false;
    }
    if (got == 0) break;
    total += static_cast<uint32_t>(got);
  }
  *bytesRead = total;
  return true;
}

void CloseFile(FileHandle file) { ::close(ToDescriptor(file)); }
