#pragma once
// The install itself, on its own thread: every package entry but the manifest written
// below GameFolder, then the patch's version into Bin\version.xml.

#include <windows.h>

#include <string>

#include "package/format/DirectoryRecord.h"

// Thread procedure, started once by the dialog with no parameter. Whatever happens, it
// stores InstallSucceeded, clears InstallRunning and sends WM_INSTALL_DONE to DialogWindow
// as its last act, so the dialog always learns that the install has ended.
DWORD WINAPI InstallWorker(LPVOID parameter);

// Reads the entry whole, then writes it over GameFolder + `name`, asking Retry or Cancel on
// each file-system failure. A compressed or delta entry is decoded into the temporary file
// and moves over the target only once the result has passed its check; a delta whose game
// file is not the one it was made against stops with the mismatch message naming the file. False when the entry failed (the user has seen why) or when
// CancelRequested was found set after the read (no message). A failure never changes an
// existing file of that name.
bool ExtractEntry(const std::string& name, const PackageEntry& entry);

// Writes PatchVersion into GameFolder + "Bin\version.xml" with the same prompts. True when
// the file holds the complete text; false leaves the old file as it was. The Bin folder
// must exist: the name has no "/", so no folder is created for it.
bool WriteVersionFile();
