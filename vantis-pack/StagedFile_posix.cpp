#include "vantis-pack/StagedFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string Reason() { return std::strerror(errno); }

int ToDescriptor(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

bool StagedFile::CreateNew(const std::filesystem::path& path, bool& nameTaken,
                           std::string& error) {
  // O_EXCL: a leftover or anyone else's file under that name is never opened.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) {
    handle_ = fd;
    return true;
  }
  nameTaken = errno == EEXIST;
  error = "cannot create " + path.u8string() + ": " + Reason();
  return false;
}

bool StagedFile::WriteAt(uint64_t offset, const void* data, size_t length,
                         std::string& error) const {
  const auto* bytes = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t written =
        ::pwrite(ToDescriptor(handle_), bytes, length, static_cast<off_t>(offset));
    if (written < 0) {
      if (errno == EINTR) continue;
      error = "cannot write " + temporaryPath_.u8string() + ": " + Reason();
      return false;
    }
    bytes += written;
    offset += static_cast<uint64_t>(written);
    length -= static_cast<size_t>(written);
  }
  return true;
}

bool StagedFile::CloseTemporaryFile(std::string& error) {
  const int closed = ::close(ToDescriptor(handle_));
  handle_ = -1;
  if (closed == 0) return true;
  error = "cannot write " + temporaryPath_.u8string() + ": " + Reason();
  return false;
}

bool StagedFile::MoveOverTarget(std::string& error) {
  if (::rename(temporaryPath_.c_str(), targetPath_.c_str()) == 0) return true;
  error = "cannot replace " + targetPath_.u8string() + ": " + Reason();
  return false;
}

void StagedFile::DeleteTemporaryFile() { ::unlink(temporaryPath_.c_str()); }
