#include "packer/StagedFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kMaxSuffixNumber = 99;

std::string Reason() { return std::strerror(errno); }

int ToDescriptor(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

bool StagedFile::Create(const std::filesystem::path& target, std::string& error) {
  Discard();
  for (int number = 0; number <= kMaxSuffixNumber; ++number) {
    std::filesystem::path candidate = target;
    candidate += ".~vantis-pack";
    if (number > 0) candidate += std::to_string(number);
    // O_EXCL: a leftover or anyone else's file under that name is never opened.
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      handle_ = fd;
      targetPath_ = target;
      temporaryPath_ = candidate;
      return true;
    }
    if (errno != EEXIST) {
      error = "cannot create " + candidate.u8string() + ": " + Reason();
      return false;
    }
  }
  error = "cannot create a temporary file beside " + target.u8string() +
          ": every name up to .~vantis-pack" + std::to_string(kMaxSuffixNumber) + " is taken";
  return false;
}

bool StagedFile::Write(const void* data, size_t length, std::string& error) {
  const auto* bytes = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t written = ::write(ToDescriptor(handle_), bytes, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      error = "cannot write " + temporaryPath_.u8string() + ": " + Reason();
      return false;
    }
    bytes += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

bool StagedFile::Commit(std::string& error) {
  // A full disk or a quota can first show up at close.
  const int closed = ::close(ToDescriptor(handle_));
  handle_ = -1;
  if (closed != 0) {
    error = "cannot write " + temporaryPath_.u8string() + ": " + Reason();
    Discard();
    return false;
  }
  if (::rename(temporaryPath_.c_str(), targetPath_.c_str()) != 0) {
    error = "cannot replace " + targetPath_.u8string() + ": " + Reason();
    Discard();
    return false;
  }
  temporaryPath_.clear();
  return true;
}

void StagedFile::Discard() {
  if (handle_ != -1) {
    ::close(ToDescriptor(handle_));
    handle_ = -1;
  }
  if (!temporaryPath_.empty()) {
    ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
  }
}
