#include "app/RendererSettings.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace {

constexpr char kSettingsFileName[] = "\\Pellory Games\\Vantis\\Config\\config.ini";

bool GetLocalAppDataFolder(std::string& folder) {
  LPITEMIDLIST itemList = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_LOCAL_APPDATA, &itemList))) return false;
  char path[MAX_PATH] = {};
  const BOOL resolved = SHGetPathFromIDListA(itemList, path);
  CoTaskMemFree(itemList);
  if (!resolved) return false;
  folder = path;
  return true;
}

}  // namespace

void ResetRendererSettings() {
  std::string settingsPath;
  if (!GetLocalAppDataFolder(settingsPath)) return;
  settingsPath += kSettingsFileName;
  // The profile functions would create a missing file; a player who never started the game
  // has no settings to reset.
  if (GetFileAttributesA(settingsPath.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  WritePrivateProfileStringA("Renderer", "AAQuality", "0", settingsPath.c_str());
}
