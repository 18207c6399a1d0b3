#include "vantis-pack/host/HostSystem.h"
#include "vantis-pack/host/SystemLibrary_win.h"

#include <windows.h>
#include <bcrypt.h>
#include <io.h>
#include <shellapi.h>

#include <memory>
#include <string>

namespace {

std::string WideToCodePage(const wchar_t* text, int length, UINT codePage) {
  if (length == 0) return std::string();
  const int size = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, text, length, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

std::vector<std::string> GetCommandLineArguments(int, char**) {
  std::vector<std::string> arguments;
  int count = 0;
  std::unique_ptr<LPWSTR, decltype(&LocalFree)> wide(
      CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
  if (!wide) return arguments;
  for (int i = 1; i < count; ++i) {
    const wchar_t* argument = wide.get()[i];
    arguments.push_back(WideToCodePage(argument, static_cast<int>(wcslen(argument)), CP_UTF8));
  }
  return arguments;
}

void PrepareConsoleOutput() { SetConsoleOutputCP(CP_UTF8); }

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

std::filesystem::path GetOwnExecutablePath() {
  std::wstring buffer(32768, L'\0');
  const DWORD length =
      GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return std::filesystem::path();
  buffer.resize(length);
  return std::filesystem::path(buffer);
}

bool FillSecureRandom(uint8_t* data, size_t length) {
  using GenRandomFunction = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, ULONG);
  static const GenRandomFunction genRandom = [] {
    const HMODULE bcrypt = LoadSystemLibrary(L"bcrypt.dll");
    return bcrypt ? reinterpret_cast<GenRandomFunction>(
                        reinterpret_cast<void*>(GetProcAddress(bcrypt, "BCryptGenRandom")))
                  : GenRandomFunction{};
  }();
  if (!genRandom) return false;
  while (length > 0) {
    const ULONG part = length > 0x10000000u ? 0x10000000u : static_cast<ULONG>(length);
    if (!BCRYPT_SUCCESS(genRandom(nullptr, data, part, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
      return false;
    }
    data += part;
    length -= part;
  }
  return true;
}

bool ResolveRealPath(const std::filesystem::path& path, std::filesystem::path& realPath) {
  // Opening the object itself resolves links and junctions on the way; backup semantics
  // let the same call open folders.
  ScopedHandle handle(CreateFileW(path.c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (handle.Get() == INVALID_HANDLE_VALUE) return false;
  std::wstring buffer(32768, L'\0');
  const DWORD length = GetFinalPathNameByHandleW(handle.Get(), buffer.data(),
                                                 static_cast<DWORD>(buffer.size()),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= buffer.size()) return false;
  buffer.resize(length);
  realPath = std::filesystem::path(buffer);
  return true;
}

// A junction is not reported as a link, so every item is resolved.
bool ResolveRealPathInFolder(const std::filesystem::path&, const std::filesystem::path& path,
                             bool, std::filesystem::path& realPath) {
  return ResolveRealPath(path, realPath);
}
