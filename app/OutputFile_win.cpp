#include "app/OutputFile.h"

#include <cassert>
#include <climits>
#include <cwchar>
#include <string>
#include <utility>

#include "app/FileDurability.h"
#include "app/Installer.h"
#include "app/WideText.h"

namespace {

constexpr wchar_t kTemporaryPrefix[] = L"~vt";
constexpr int kTemporaryNameCount = 100;

HANDLE CreateNewFile(const std::wstring& path) {
  // No sharing: nothing else may read a file that is still being written.
  return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

// "~vt0" to "~vt99", cut to their last `targetNameLength` characters for a shorter target
// name. Cut names stay distinct for names of two characters or more.
std::wstring TemporaryName(int attempt, size_t targetNameLength) {
  std::wstring name = kTemporaryPrefix + std::to_wstring(attempt);
  if (name.size() > targetNameLength) name.erase(0, name.size() - targetNameLength);
  return name;
}

// CREATE_NEW meets a folder of that name with access denied, not with "exists".
bool IsNameTaken(DWORD error, const std::wstring& path) {
  if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return true;
  return error == ERROR_ACCESS_DENIED && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Tries the temporary names in the target's folder in turn, moving on only while the name is
// taken. A cut name can equal the target's own, which is never used.
HANDLE CreateTemporaryFile(const std::wstring& targetPath, std::wstring& temporaryPath) {
  const size_t folderLength = targetPath.find_last_of(L"\\/") + 1;
  const std::wstring targetName = targetPath.substr(folderLength);
  for (int attempt = 0; attempt < kTemporaryNameCount; ++attempt) {
    const std::wstring name = TemporaryName(attempt, targetName.size());
    if (_wcsicmp(name.c_str(), targetName.c_str()) == 0) continue;
    std::wstring path = targetPath.substr(0, folderLength) + name;
    const HANDLE handle = CreateNewFile(path);
    if (handle != INVALID_HANDLE_VALUE) {
      temporaryPath = std::move(path);
      return handle;
    }
    if (!IsNameTaken(GetLastError(), path)) break;
  }
  return INVALID_HANDLE_VALUE;
}

// The folders a package names with "/", from the top down. The prefixes keep their "/";
// the file system accepts both separators. "/" is never the second byte of a double-byte
// character, so the wide name has exactly the narrow name's "/".
bool CreateParentFolders(const std::wstring& relativeName) {
  for (size_t slash = relativeName.find(L'/'); slash != std::wstring::npos;
       slash = relativeName.find(L'/', slash + 1)) {
    const std::wstring folder = GameFolder + relativeName.substr(0, slash);
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool CreateOutputFile(const std::string& relativeName, OutputFile& file) {
  assert(file.handle_ == INVALID_HANDLE_VALUE);
  const std::wstring wideName = WidenAnsiCodePage(relativeName);
  std::wstring targetPath = GameFolder + wideName;
  std::wstring temporaryPath;
  // Trying the file before the folders costs one open when the folders exist, the usual case.
  HANDLE handle = CreateTemporaryFile(targetPath, temporaryPath);
  if (handle == INVALID_HANDLE_VALUE) {
    if (!CreateParentFolders(wideName)) return false;
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
  if (!MoveFileExW(temporaryPath_.c_str(), targetPath_.c_str(), flags)) {
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
    DeleteFileW(temporaryPath_.c_str());
    temporaryPath_.clear();
  }
}
