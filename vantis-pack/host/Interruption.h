#pragma once
// Temporary files that must not outlive an interrupted run. Once the program has called
// InstallInterruptionCleanup, Ctrl-C or SIGTERM (SIGHUP too; on Windows the console's
// close and break events) deletes every remembered file and ends the process with
// 128 + the signal's number: 130 for SIGINT, 143 for SIGTERM. The handler cannot take a
// lock or allocate, so the paths live in a small fixed table.

#include <filesystem>

// Called once, by main, before any command runs.
void InstallInterruptionCleanup();

// Returns a slot for ForgetTemporaryFile, or -1 when the table is full or the path too
// long for it; such a file is still deleted on every other way out.
int RememberTemporaryFile(const std::filesystem::path& path);
void ForgetTemporaryFile(int slot);
