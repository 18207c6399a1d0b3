#include "vantis-pack/host/StagedFile.h"

#include <windows.h>

namespace {

std::string Reason() {
  const DWORD code = GetLastError();
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason = "system error " + std::to_string(code);
  if (length > 0 && text) {
    std::wstring wide(text, length);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' ')) {
      wide.pop_back();
    }
    reason = std::filesystem::path(wide).u8string();
  }
  if (text) LocalFree(text);
  return reason;
}

HANDLE ToHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

// Windows has no unnamed files.
bool StagedFile::CreateUnnamed(const std::filesystem::path&) { return false; }

bool StagedFile::NameUnnamed(const std::filesystem::path&, bool&, std::string&) { return false; }

bool StagedFile::CreateNew(const std::filesystem::path& path, bool& nameTaken,
                           std::string& error) {
  // CREATE_NEW: a leftover or anyone else's file under that name is never opened.
  // FILE_SHARE_DELETE lets the interruption handler delete it while it is open; sharing
  // nothing else is what tells it from a leftover (RemoveUnheldTemporaryFile).
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return true;
  }
  nameTaken = GetLastError() == ERROR_FILE_EXISTS;
  error = "cannot create " + path.u8string() + ": " + Reason();
  return false;
}

bool StagedFile::WriteAt(uint64_t offset, const void* data, size_t length,
                         std::string& error) const {
  const auto* bytes = static_cast<const char*>(data);
  while (length > 0) {
    const DWORD part = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
    // On a handle opened without FILE_FLAG_OVERLAPPED the structure only names the offset,
    // and the call returns once the bytes are written.
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    // A full disk can answer TRUE with a short count; no progress is a failure.
    if (!WriteFile(ToHandle(handle_), bytes, part, &written, &at) || written == 0) {
      error = "cannot write " + targetPath_.u8string() + ": " + Reason();
      return false;
    }
    bytes += written;
    offset += written;
    length -= written;
  }
  return true;
}

bool StagedFile::CloseTemporaryFile(std::string& error) {
  const BOOL closed = CloseHandle(ToHandle(handle_));
  handle_ = -1;
  if (closed) return true;
  error = "cannot write " + targetPath_.u8string() + ": " + Reason();
  return false;
}

bool StagedFile::MoveOverTarget(std::string& error) {
  if (MoveFileExW(temporaryPath_.c_str(), targetPath_.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  error = "cannot replace " + targetPath_.u8string() + ": " + Reason();
  return false;
}

void StagedFile::DeleteTemporaryFile() { DeleteFileW(temporaryPath_.c_str()); }

void RemoveUnheldTemporaryFile(const std::filesystem::path& path) {
  // Sharing nothing, the open fails while the vantis-pack that writes the file has it open.
  const HANDLE file =
      CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                  FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}
