#include "app/OutputFile.h"

#include <cassert>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <set>
#include <string>
#include <utility>

#include "app/FileDurability.h"
#include "app/Installer.h"
#include "app/WideText.h"

namespace {

// "~vt", 8 hexadecimal digits, ".tmp": 15 characters.
constexpr wchar_t kTemporaryPrefix[] = L"~vt";
constexpr wchar_t kTemporarySuffix[] = L".tmp";
constexpr size_t kTemporaryDigitCount = 8;
constexpr size_t kTemporaryNameLength = 3 + kTemporaryDigitCount + 4;
// The names are drawn at random: a hundred taken in a row means something else is wrong.
constexpr int kTemporaryNameCount = 100;

// The folders whose leftovers this run has removed: each is looked at once.
std::set<std::wstring> SweptFolders;

HANDLE CreateNewFile(const std::wstring& path) {
  // No sharing: nothing else may read a file that is still being written, and the next run
  // tells a leftover from a file in use by being able to open it.
  return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

std::wstring NewTemporaryName() {
  // Distinct per process and call; CREATE_NEW settles any collision.
  static uint32_t state = GetTickCount() ^ (GetCurrentProcessId() << 16);
  state = state * 1664525u + 1013904223u;
  wchar_t digits[kTemporaryDigitCount + 1];
  std::swprintf(digits, kTemporaryDigitCount + 1, L"%08X", static_cast<unsigned>(state));
  return kTemporaryPrefix + std::wstring(digits) + kTemporarySuffix;
}

bool IsTemporaryName(const wchar_t* name) {
  if (std::wcslen(name) != kTemporaryNameLength || _wcsnicmp(name, kTemporaryPrefix, 3) != 0 ||
      _wcsicmp(name + 3 + kTemporaryDigitCount, kTemporarySuffix) != 0) {
    return false;
  }
  for (size_t i = 3; i < 3 + kTemporaryDigitCount; ++i) {
    if (!std::iswxdigit(name[i])) return false;
  }
  return true;
}

// `folder` (ending in a separator) followed by `name`. Where that is too long for the plain
// form, the "\\?\" form, which has no such limit: a temporary name longer than the
// target's must not keep a target that fits from being written.
std::wstring PathInFolder(const std::wstring& folder, const std::wstring& name) {
  std::wstring path = folder + name;
  if (path.size() < MAX_PATH) return path;
  const DWORD needed = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(folder.c_str(), needed, &full[0], nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2) + name;
  return L"\\\\?\\" + full + name;
}

// Deletes the temporary files that a killed run left in `folder`, once per run. A file that
// another installer is writing cannot be opened without sharing, and stays.
void RemoveLeftovers(const std::wstring& folder) {
  if (!SweptFolders.insert(folder).second) return;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(PathInFolder(folder, L"~vt*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsTemporaryName(found.cFileName)) {
      continue;
    }
    const HANDLE leftover =
        CreateFileW(PathInFolder(folder, found.cFileName).c_str(), DELETE, 0, nullptr,
                    OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                    nullptr);
    if (leftover != INVALID_HANDLE_VALUE) CloseHandle(leftover);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// Tries temporary names in the target's folder, moving on only while the name is taken.
// CREATE_NEW meets a folder of that name with access denied, not with "exists".
HANDLE CreateTemporaryFile(const std::wstring& targetPath, std::wstring& temporaryPath) {
  const std::wstring folder = targetPath.substr(0, targetPath.find_last_of(L"\\/") + 1);
  RemoveLeftovers(folder);
  for (int attempt = 0; attempt < kTemporaryNameCount; ++attempt) {
    std::wstring path = PathInFolder(folder, NewTemporaryName());
    const HANDLE handle = CreateNewFile(path);
    if (handle != INVALID_HANDLE_VALUE) {
      temporaryPath = std::move(path);
      return handle;
    }
    const DWORD error = GetLastError();
    const bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                       (error == ERROR_ACCESS_DENIED &&
                        GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES);
    if (!taken) break;
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
