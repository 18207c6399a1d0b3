#include "vantis-pack/host/StagedFile.h"

#include <mutex>
#include <random>
#include <set>

#include "vantis-pack/host/Interruption.h"

namespace {

constexpr char kTemporaryPrefix[] = ".~vantis-pack-";
constexpr size_t kTemporaryPrefixLength = sizeof kTemporaryPrefix - 1;
constexpr size_t kUniqueDigitCount = 8;
// Names are drawn at random: a hundred taken in a row means something else is wrong.
constexpr int kNameAttemptCount = 100;
constexpr char kOldSuffix[] = ".~vantis-pack";
constexpr size_t kOldSuffixLength = sizeof kOldSuffix - 1;

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

bool IsLowerHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

bool IsTemporaryName(const std::string& name) {
  if (name.size() != kTemporaryPrefixLength + kUniqueDigitCount ||
      name.compare(0, kTemporaryPrefixLength, kTemporaryPrefix) != 0) {
    return false;
  }
  for (size_t i = kTemporaryPrefixLength; i < name.size(); ++i) {
    if (!IsLowerHexDigit(name[i])) return false;
  }
  return true;
}

std::string NewTemporaryName() {
  static const char kDigits[] = "0123456789abcdef";
  uint32_t unique = std::random_device{}();
  std::string name = kTemporaryPrefix;
  for (size_t i = 0; i < kUniqueDigitCount; ++i, unique >>= 4) name += kDigits[unique & 15];
  return name;
}

std::filesystem::path FolderOf(const std::filesystem::path& target) {
  const std::filesystem::path folder = target.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

// Once per folder and run: extract writes many files into one folder.
void RemoveLeftoversOnce(const std::filesystem::path& folder) {
  static std::mutex lock;
  static std::set<std::filesystem::path> swept;
  {
    const std::lock_guard<std::mutex> hold(lock);
    if (!swept.insert(folder.lexically_normal()).second) return;
  }
  std::error_code failure;
  for (std::filesystem::directory_iterator it(folder, failure), end; !failure && it != end;
       it.increment(failure)) {
    std::string name;
    try {
      name = it->path().filename().u8string();
    } catch (const std::exception&) {  // a Windows name that is no valid UTF-16
      continue;
    }
    std::error_code ignored;
    if (IsTemporaryName(name) && it->is_regular_file(ignored) && !it->is_symlink(ignored)) {
      RemoveUnheldTemporaryFile(it->path());
    }
  }
}

}  // namespace

bool IsStagedFileName(const std::string& name) {
  if (IsTemporaryName(name)) return true;
  const size_t at = name.rfind(kOldSuffix);
  if (at == std::string::npos) return false;
  const std::string number = name.substr(at + kOldSuffixLength);
  if (number.empty()) return true;
  return number.size() <= 2 && number[0] >= '1' && number[0] <= '9' &&
         (number.size() == 1 || (number[1] >= '0' && number[1] <= '9'));
}

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
  const std::filesystem::path folder = FolderOf(target);
  RemoveLeftoversOnce(folder);
  targetPath_ = target;
  position_ = 0;
  if (CreateUnnamed(folder)) {
    unnamed_ = true;
    return true;
  }
  return TakeTemporaryName(false, error);
}

bool StagedFile::TakeTemporaryName(bool unnamed, std::string& error) {
  const std::filesystem::path folder = FolderOf(targetPath_);
  for (int attempt = 0; attempt < kNameAttemptCount; ++attempt) {
    const std::filesystem::path candidate = folder / NewTemporaryName();
    bool nameTaken = false;
    if (unnamed ? NameUnnamed(candidate, nameTaken, error)
                : CreateNew(candidate, nameTaken, error)) {
      temporaryPath_ = candidate;
      interruptionSlot_ = RememberTemporaryFile(temporaryPath_);
      return true;
    }
    if (!nameTaken) return false;
  }
  error = "cannot create a temporary file beside " + targetPath_.u8string() + ": " +
          std::to_string(kNameAttemptCount) + " random names in a row are taken";
  return false;
}

bool StagedFile::Commit(std::string& error) {
  // Closing an unnamed file deletes it, so it is named and moved while it is open and held:
  // no other run can take it for a leftover in between. The file systems that have unnamed
  // files report no write errors at close. A named file is closed first, as a full disk or
  // a quota can first show up there.
  const bool moved = unnamed_ ? TakeTemporaryName(true, error) && MoveOverTarget(error)
                              : CloseTemporaryFile(error) && MoveOverTarget(error);
  if (!moved) {
    Discard();
    return false;
  }
  unnamed_ = false;
  temporaryPath_.clear();
  ForgetTemporaryFile(interruptionSlot_);
  interruptionSlot_ = -1;
  return handle_ == -1 || CloseTemporaryFile(error);
}

void StagedFile::Discard() {
  std::string ignored;
  if (handle_ != -1) CloseTemporaryFile(ignored);
  unnamed_ = false;
  if (!temporaryPath_.empty()) {
    DeleteTemporaryFile();
    temporaryPath_.clear();
  }
  ForgetTemporaryFile(interruptionSlot_);
  interruptionSlot_ = -1;
}
