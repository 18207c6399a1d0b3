#include "app/OutputFile.h"

#include <cassert>
#include <climits>
#include <string>
#include <utility>

#include "app/FileDurability.h"
#include "app/Installer.h"

namespace {

constexpr char kTemporarySuffix[] = ".~vantis";
constexpr int kTemporaryNameCount = 100;

HANDLE CreateNewFile(const std::string& path) {
  // No sharing: nothing else may read a file that is still being written.
  return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

// Tries the temporary names in turn, moving on only while the name is taken.
HANDLE CreateTemporaryFile(const std::string& targetPath, std::string& temporaryPath) {
  for (int attempt = 0; attempt < kTemporaryNameCount; ++attempt) {
    std::string path = targetPath + kTemporarySuffix;
    if (attempt > 0) path += std::to_string(attempt);
    const HANDLE handle = CreateNewFile(path);
    if (handle != INVALID_HANDLE_VALUE) {
      temporaryPath = std::move(path);
      return handle;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return INVALID_HANDLE_VALUE;
}

// The folders a package names with "/", from the top down. The prefixes keep their "/";
// the file system accepts both separators.
bool CreateParentFolders(const std::string& relativeName) {
  for (size_t slash = relativeName.find('/'); slash != std::string::npos;
       slash = relativeName.find('/', slash + 1)) {
    const std::string folder = GameFolder + relativeName.substr(0, slash);
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool CreateOutputFile(const std::string& relativeName, OutputFile& file) {
  assert(file.handle_ == INVALID_HANDLE_VALUE);
  std::string targetPath = GameFolder + relativeName;
  std::string temporaryPath;
  // Trying the file before the folders costs one open when the folders exist, the usual case.
  HANDLE handle = CreateTemporaryFile(targetPath, temporaryPath);
  if (handle == INVALID_HANDLE_VALUE) {
    if (!CreateParentFolders(relativeName)) return false;
    handle = CreateTemporaryFile(targetPath, temporaryPath);
    if (handle == INVALID_HANDLE_VALUE) return false;
  }
  file.handle_ = handle;
  file.flushedToDisk_ = false;
  file.targetPath_ = std::move(targetPath);
  file.temporaryPath_ = std::move(temporaryPath);
  return true;
}

bool OutputFile::Write(const std::string& data) {
  assert(handle_ != INVALID_HANDLE_VALUE);
  // Chunks stay below 1 MiB, so one call always suffices; a block beyond DWORD is a bug.
  assert(data.size() <= static_cast<size_t>(ULONG_MAX));
  const auto length = static_cast<DWORD>(data.size());
  DWORD written = 0;
  return WriteFile(handle_, data.data(), length, &written, nullptr) && written == length;
}

bool OutputFile::Close() {
  assert(handle_ != INVALID_HANDLE_VALUE);
  // No flush of the disk's cache per file: the version file's flush covers what is written
  // out here. A delayed write that fails surfaces here, too.
  return CloseAfter(WriteOutFileData(handle_));
}

bool OutputFile::CloseFlushedToDisk() {
  assert(handle_ != INVALID_HANDLE_VALUE);
  flushedToDisk_ = true;
  return CloseAfter(FlushFileBuffers(handle_) != FALSE);
}

bool OutputFile::CloseAfter(bool madeDurable) {
  const bool closed = CloseHandle(handle_) != FALSE;
  handle_ = INVALID_HANDLE_VALUE;
  if (madeDurable && closed) return true;
  Discard();
  return false;
}

bool OutputFile::ReplaceTarget() {
  assert(handle_ == INVALID_HANDLE_VALUE && !temporaryPath_.empty());
  // Waiting for the move to reach the disk is only worth it where the data has been flushed
  // to the disk before it.
  const DWORD flags =
      MOVEFILE_REPLACE_EXISTING | (flushedToDisk_ ? MOVEFILE_WRITE_THROUGH : 0);
  if (!MoveFileExA(temporaryPath_.c_str(), targetPath_.c_str(), flags)) {
    Discard();
    return false;
  }
  temporaryPath_.clear();
  return true;
}

void OutputFile::Discard() {
  if (handle_ != INVALID_HANDLE_VALUE) {
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  if (!temporaryPath_.empty()) {
    DeleteFileA(temporaryPath_.c_str());
    temporaryPath_.clear();
  }
}
