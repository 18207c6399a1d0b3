#pragma once
// Temporary files that must not outlive an interrupted run. Once the program has called
// InstallInterruptionCleanup, Ctrl-C or SIGTERM (SIGHUP too; on Windows the console's
// close and break events) deletes every remembered file and ends the process with
// 128 + the signal's number: 130 for SIGINT, 143 for SIGTERM. The handler cannot take a
// lock or allocate, so the paths live in a small fixed table.

#include <cstddef>
#include <filesystem>
#include <initializer_list>

// Called once, by main, before any command runs.
void InstallInterruptionCleanup();

// Returns a slot for ForgetTemporaryFile, or -1 when the table is full or the path too
// long for it; such a file is still deleted on every other way out.
int RememberTemporaryFile(const std::filesystem::path& path);
void ForgetTemporaryFile(int slot);

// A folder of files named by number: "<n>" and one of `suffixes` (at most 4, each at most 7
// characters), for n below `fileCount`. An interruption deletes every such file and then
// the folder, which must hold nothing else. One such folder at a time; false when its path
// is too long, and the folder is then only removed on the other ways out.
bool RememberNumberedFolder(const std::filesystem::path& folder, size_t fileCount,
                            std::initializer_list<const char*> suffixes);
void ForgetNumberedFolder();
