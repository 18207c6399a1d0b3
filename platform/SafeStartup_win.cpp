// The entry points of our Windows programs (the installer and vantis-pack.exe), and the
// load configuration that makes the loader keep their DLLs' own imports in the system folder.
//
// Both are started from folders that others can write to (a download folder, the game's
// updates folder), and Windows looks for a DLL that is not on its KnownDLLs list first in
// the program's own folder. A version.dll or uxtheme.dll planted there would run with the
// installer's rights (its manifest asks for highestAvailable). So the very first thing the
// process does, before the C runtime starts and before any code of ours, is restrict the
// DLL search to the system folder; only then does the runtime's usual start-up
// (WinMainCRTStartup or mainCRTStartup) run. The linker is told to start at these functions
// (cmake/SafeStartup.cmake). Nothing of the runtime is initialised yet: these functions call
// kernel32 only, which every process has loaded.
//
// What loads before the entry point (the program's static imports and theirs, and their
// DllMains' loads) cannot be restricted from code: the programs import only DLLs on the
// KnownDLLs list, which always come from the system folder (and the installer comctl32,
// which its manifest binds to the side-by-side Common Controls assembly), and the load
// configuration below asks the loader (Windows 10 1607 and later) to search only the system
// folder for those DLLs' own dependencies. The runtime's TLS callbacks also run before the
// entry point; they load nothing.

#include <windows.h>

#include <cstddef>

extern "C" {

int WinMainCRTStartup();
int mainCRTStartup();

}  // extern "C"

namespace {

// SetDefaultDllDirectories exists on Windows 8 and later, and on Windows 7 with update
// KB2533623; without it, SetDllDirectoryW(L"") at least takes the current folder out of
// the search (the program's folder stays in it there).
void RestrictDllSearchToSystemFolder() {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefaultDllDirectories && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  SetDllDirectoryW(L"");
}

}  // namespace

extern "C" {

int VantisGuiStartup() {
  RestrictDllSearchToSystemFolder();
  return WinMainCRTStartup();
}

int VantisConsoleStartup() {
  RestrictDllSearchToSystemFolder();
  return mainCRTStartup();
}

// The load configuration, IMAGE_LOAD_CONFIG_DIRECTORY32/64 of <winnt.h> as Microsoft's PE
// format documentation lays it out ("The Load Configuration Structure"). Only the fields up
// to SEHandlerCount are written, and Size says so (72 bytes in PE32, 112 in PE32+):
//
//   PE32   PE32+
//   0      0      u32 Size
//   52     76     u16 CSDVersion
//   54     78     u16 DependentLoadFlags   LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800)
//   56     80     EditList, SecurityCookie, SEHandlerTable, SEHandlerCount (pointer-sized)
//
// Every other field is zero: no security cookie for the loader to set (MinGW's runtime sets
// its own), and in PE32 no safe exception handler table, so the image makes no /SAFESEH
// claim and its handlers are accepted as without one. The linker of Debian 12 (binutils
// 2.40) does not point the LOAD_CONFIG data directory at this symbol; a build step does
// (scripts/pe-load-config.sh).
//
// MinGW-w64's <winnt.h> still calls DependentLoadFlags by its old name, Reserved1.
extern const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used;
constexpr IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = [] {
  IMAGE_LOAD_CONFIG_DIRECTORY directory{};
  directory.Size = sizeof(IMAGE_LOAD_CONFIG_DIRECTORY);
  directory.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;
  return directory;
}();
static_assert(sizeof(IMAGE_LOAD_CONFIG_DIRECTORY) == (sizeof(void*) == 4 ? 72 : 112) &&
              offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, Reserved1) == (sizeof(void*) == 4 ? 54 : 78));

}  // extern "C"
