#include "app/RendererSettings.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace {

constexpr wchar_t kSettingsFileName[] = L"\\Pellory Games\\Vantis\\Config\\config.ini";

// UTF-16, like the game folder: a user name outside the ANSI code page is still reached.
bool GetLocalAppDataFolder(std::wstring& folder) {
  LPITEMIDLIST itemList = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_LOCAL_APPDATA, &itemList))) return false;
  wchar_t path[MAX_PATH] = {};
  const BOOL resolved = SHGetPathFromIDListW(itemList, path);
  CoTaskMemFree(itemList);
  if (!resolved) return false;
  folder = path;
  return true;
}

}  // namespace

void ResetRendererSettings() {
  std::wstring settingsPath;
  if (!GetLocalAppDataFolder(settingsPath)) return;
  settingsPath += kSettingsFileName;
  // The profile functions would create a missing file; a player who never started the game
  // has no settings to reset.
  if (GetFileAttributesW(settingsPath.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  WritePrivateProfileStringW(L"Renderer", L"AAQuality", L"0", settingsPath.c_str());
}
