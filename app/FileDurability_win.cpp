#include "app/FileDurability.h"

#include "app/Installer.h"
#include "app/WideText.h"

namespace {

// ntdll's NtFlushBuffersFileEx and its flag, as the driver kit's ntifs.h declares them.
using FlushBuffersFileEx = LONG(NTAPI*)(HANDLE file, ULONG flags, void* parameters,
                                       ULONG parameterLength, void* ioStatus);
constexpr ULONG kFlushFileDataOnly = 0x00000001;

FlushBuffersFileEx FindWriteOut() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return nullptr;
  return reinterpret_cast<FlushBuffersFileEx>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtFlushBuffersFileEx")));
}

FlushBuffersFileEx WriteOut() {
  static const FlushBuffersFileEx writeOut = FindWriteOut();
  return writeOut;
}

}  // namespace

bool WriteOutFileData(HANDLE file) {
  const FlushBuffersFileEx writeOut = WriteOut();
  if (!writeOut) return true;
  // An IO_STATUS_BLOCK: a status (or pointer) and a ULONG_PTR.
  ULONG_PTR ioStatus[2] = {};
  return writeOut(file, kFlushFileDataOnly, nullptr, 0, ioStatus) >= 0;
}

bool InstalledFilesNeedFlush() {
  return WriteOut() == nullptr;
}

bool FlushInstalledFile(const std::string& relativeName) {
  // Shared with everyone: another program may hold the file open by now, which does not
  // stop its data from being flushed.
  const HANDLE file =
      CreateFileW((GameFolder + WidenAnsiCodePage(relativeName)).c_str(), GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool flushed = FlushFileBuffers(file) != FALSE;
  CloseHandle(file);
  return flushed;
}
