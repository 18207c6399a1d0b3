#include "vantis-pack/StagedFile.h"

#include "vantis-pack/Interruption.h"

namespace {

constexpr int kMaxSuffixNumber = 99;

std::string DescribeFileType(std::filesystem::file_type type) {
  switch (type) {
    case std::filesystem::file_type::directory: return "a folder";
    case std::filesystem::file_type::symlink: return "a symbolic link";
    case std::filesystem::file_type::block:
    case std::filesystem::file_type::character: return "a device";
    case std::filesystem::file_type::fifo: return "a pipe";
    case std::filesystem::file_type::socket: return "a socket";
    default: return "something else";
  }
}

}  // namespace

// Commit would put a regular file in the place of a device, pipe, folder or link (as root,
// /dev/null itself), so only a regular file is ever replaced.
bool CheckReplaceable(const std::filesystem::path& target, std::string& error) {
  std::error_code failure;
  const std::filesystem::file_status existing = std::filesystem::symlink_status(target, failure);
  if (std::filesystem::exists(existing) && !std::filesystem::is_regular_file(existing)) {
    error = target.u8string() + ": exists and is " + DescribeFileType(existing.type()) +
            ", not a regular file; only a regular file is replaced";
    return false;
  }
  return true;
}

bool StagedFile::Create(const std::filesystem::path& target, std::string& error) {
  Discard();
  if (!CheckReplaceable(target, error)) return false;
  for (int number = 0; number <= kMaxSuffixNumber; ++number) {
    std::filesystem::path candidate = target;
    candidate += ".~vantis-pack";
    if (number > 0) candidate += std::to_string(number);
    bool nameTaken = false;
    if (CreateNew(candidate, nameTaken, error)) {
      targetPath_ = target;
      temporaryPath_ = candidate;
      interruptionSlot_ = RememberTemporaryFile(temporaryPath_);
      return true;
    }
    if (!nameTaken) return false;
  }
  error = "cannot create a temporary file beside " + target.u8string() +
          ": every name up to .~vantis-pack" + std::to_string(kMaxSuffixNumber) + " is taken";
  return false;
}

bool StagedFile::Commit(std::string& error) {
  // A full disk or a quota can first show up at close.
  if (!CloseTemporaryFile(error) || !MoveOverTarget(error)) {
    Discard();
    return false;
  }
  temporaryPath_.clear();
  ForgetTemporaryFile(interruptionSlot_);
  interruptionSlot_ = -1;
  return true;
}

void StagedFile::Discard() {
  std::string ignored;
  if (handle_ != -1) CloseTemporaryFile(ignored);
  if (!temporaryPath_.empty()) {
    DeleteTemporaryFile();
    temporaryPath_.clear();
  }
  ForgetTemporaryFile(interruptionSlot_);
  interruptionSlot_ = -1;
}
