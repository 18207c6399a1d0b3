// A DLL that an attacker would plant beside the installer, harmless: when a process loads
// it, it leaves "<its own path>.loaded" beside itself and does nothing else. It exports
// nothing, so a system DLL that imports from the real one gets Wine's stubs instead.

#include <windows.h>

#include <string>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  std::wstring path(MAX_PATH, L'\0');
  const DWORD length = GetModuleFileNameW(instance, path.data(), MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  path.resize(length);
  path += L".loaded";
  const HANDLE marker =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  return TRUE;
}
