#include "app/PreInstallChecks.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "app/game/GameVersion.h"
#include "app/Installer.h"
#include "app/MessageBox.h"
#include "app/Messages.h"
#include "app/game/PatchManifest.h"
#include "package/format/EntryName.h"
#include "package/ManifestName.h"
#include "package/PackageIndex.h"

namespace {

constexpr DWORD kModulePathSize = 32768;
constexpr size_t kMessageSize = 4096;

// The full path of the running executable, as UTF-16: the ANSI form turns every character
// outside the ANSI code page into "?", and the package could not be opened. A path that
// does not fit comes back cut off; an empty one fails to open as a package.
std::wstring GetInstallerPath() {
  std::wstring buffer(kModulePathSize, L'\0');
  DWORD length = GetModuleFileNameW(nullptr, buffer.data(), kModulePathSize);
  if (length > kModulePathSize) length = kModulePathSize;
  buffer.resize(length);
  return buffer;
}

// The length of the folder part of `path`, its last "\" or "/" included; 0 when there is
// none.
size_t FolderPartLength(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? 0 : separator + 1;
}

bool AskToContinue(const char* question) {
  return ShowMessage(question, MB_OKCANCEL | MB_ICONWARNING) == IDOK;
}

// Versions compare as packed numbers, so a minor above 255 has already carried into the
// major. A reinstall is asked about first, whatever the rule says.
bool AcceptInstalledVersion(GameVersion installedVersion) {
  if (installedVersion >= PatchVersion) return AskToContinue(kAskInstalledNotOlder);

  switch (VersionRule) {
    case RuleExact: {
      if (installedVersion == RequiredVersion) return true;
      char text[kMessageSize];
      std::snprintf(text, sizeof text, kInstallRequiredFirstFormat,
                    static_cast<unsigned>(VersionMajor(RequiredVersion)),
                    static_cast<unsigned>(VersionMinor(RequiredVersion)),
                    static_cast<unsigned>(VersionBuild(RequiredVersion)));
      ShowMessage(text, MB_ICONWARNING);
      return false;
    }
    case RuleAtMost:
      return installedVersion <= RequiredVersion || AskToContinue(kAskInstalledAboveRequired);
    case RuleInvalid:
      break;
  }
  ShowMessage(kManifestInvalid, MB_ICONERROR);
  return false;
}

}  // namespace

bool OpenInstallerPackage() {
  if (!OpenPackage(GetInstallerPath())) return false;
  // A package that carries integrity data is refused when its header, trailer or directory
  // is not as packed: a damaged name or offset would install a file elsewhere or not at all.
  if (!IsPackageFrameIntact()) return false;
  for (const auto& item : PackageIndex) {
    if (!IsSafeEntryName(item.first)) return false;
  }
  return true;
}

bool RunPreInstallChecks() {
  const std::wstring installerPath = GetInstallerPath();
  // Not normalised: D:\Games\Vantis\updates\setup.exe gives D:\Games\Vantis\updates\..\ and
  // a bare file name gives the relative "..\". The folder's own name is never looked at.
  GameFolder = installerPath.substr(0, FolderPartLength(installerPath)) + L"..\\";

  const std::wstring binFolder = GameFolder + L"Bin\\";
  if (GetFileAttributesW((binFolder + L"Vantis.exe").c_str()) == INVALID_FILE_ATTRIBUTES) {
    ShowMessage(kRunFromUpdatesFolder, MB_ICONERROR);
    return false;
  }
  // Missing or unreadable reads as 0.0.0, which the rule then judges.
  const GameVersion installedVersion = ReadInstalledVersion(binFolder + L"version.xml");

  const PackageEntry* manifestEntry = FindPackageEntry(kManifestName);
  if (!manifestEntry) {
    ShowMessage(kManifestMissing, MB_ICONERROR);
    return false;
  }
  std::string manifest;
  if (!ReadEntry(*manifestEntry, manifest)) {
    ShowMessage(kManifestUnreadable, MB_ICONERROR);
    return false;
  }
  ParsePatchManifest(manifest);
  return AcceptInstalledVersion(installedVersion);
}
