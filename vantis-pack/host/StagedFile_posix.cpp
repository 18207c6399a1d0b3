#include "vantis-pack/host/StagedFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string Reason() { return std::strerror(errno); }

int ToDescriptor(std::intptr_t handle) { return static_cast<int>(handle); }

// How linkat reaches a file that has no name.
std::string DescriptorPath(int descriptor) {
  return "/proc/self/fd/" + std::to_string(descriptor);
}

// Held until the file is closed, by this process or by its end however it comes: what tells
// a file in use from a leftover. A file system without locks gets none, and its temporary
// files are then never taken for leftovers.
void Hold(int descriptor) { ::flock(descriptor, LOCK_EX | LOCK_NB); }

}  // namespace

bool StagedFile::CreateUnnamed(const std::filesystem::path& folder) {
#ifdef O_TMPFILE
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) return false;  // EOPNOTSUPP, EISDIR or EINVAL: the named file is tried next
  // Without /proc the file could never be given a name.
  if (::access(DescriptorPath(fd).c_str(), F_OK) != 0) {
    ::close(fd);
    return false;
  }
  Hold(fd);
  handle_ = fd;
  return true;
#else
  (void)folder;
  return false;
#endif
}

bool StagedFile::CreateNew(const std::filesystem::path& path, bool& nameTaken,
                           std::string& error) {
  // O_EXCL: a leftover or anyone else's file under that name is never opened.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) {
    Hold(fd);
    handle_ = fd;
    return true;
  }
  nameTaken = errno == EEXIST;
  error = "cannot create " + path.u8string() + ": " + Reason();
  return false;
}

bool StagedFile::NameUnnamed(const std::filesystem::path& path, bool& nameTaken,
                             std::string& error) {
  // A link never replaces an existing name.
  if (::linkat(AT_FDCWD, DescriptorPath(ToDescriptor(handle_)).c_str(), AT_FDCWD, path.c_str(),
               AT_SYMLINK_FOLLOW) == 0) {
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
      error = "cannot write " + targetPath_.u8string() + ": " + Reason();
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
  error = "cannot write " + targetPath_.u8string() + ": " + Reason();
  return false;
}

bool StagedFile::MoveOverTarget(std::string& error) {
  if (::rename(temporaryPath_.c_str(), targetPath_.c_str()) == 0) return true;
  error = "cannot replace " + targetPath_.u8string() + ": " + Reason();
  return false;
}

void StagedFile::DeleteTemporaryFile() { ::unlink(temporaryPath_.c_str()); }

void RemoveUnheldTemporaryFile(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat opened {};
  struct stat named {};
  // The lock is taken on the file that is still under that name when it is deleted.
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
      S_ISREG(opened.st_mode) && ::lstat(path.c_str(), &named) == 0 &&
      named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
    ::unlink(path.c_str());
  }
  ::close(fd);
}
