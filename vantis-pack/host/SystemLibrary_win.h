#pragma once
// A DLL of Windows' own, by its full path in the system folder. Libraries that are no
// KnownDLL (bcrypt.dll) would, imported, be looked for beside the program first.

#include <windows.h>

#include <string>

// Null when the system folder or the library cannot be had (GetLastError says why).
inline HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT folderLength = GetSystemDirectoryW(folder, MAX_PATH);
  if (folderLength == 0 || folderLength >= MAX_PATH) return nullptr;
  return LoadLibraryExW((std::wstring(folder, folderLength) + L"\\" + name).c_str(), nullptr, 0);
}
