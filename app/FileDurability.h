#pragma once
// How the installed files reach the disk without a flush of the disk's cache per file.
//
// Bin\version.xml must never name the new version on the disk before the patch's files are
// there, so that an install cut short by a power failure is repaired by running the
// installer again. The game files are therefore only written out of the system's cache,
// each after its last write, and moved into place without waiting; the version file alone
// is flushed with FlushFileBuffers, which also flushes the disk's own cache, before it is
// moved into place with MOVEFILE_WRITE_THROUGH. On NTFS that flush covers the data written
// out before it and the file system's log up to it, so every earlier move as well.
//
// Writing out without the disk's cache takes NtFlushBuffersFileEx (Windows 8 and later).
// Where it is missing (older Windows, Wine 8) the worker reopens and flushes the installed
// files in batches as it goes, the last batch before the version file: the same guarantee
// at a flush per file, but none between a file's creation and its move, where under Wine
// it slowed the next calls down as well.

#include <windows.h>

#include <string>

// Writes the data of a file open for writing out of the system's cache, without metadata
// and without flushing the disk's cache. Does nothing where that is not possible; then
// FlushInstalledFile must follow for it before the version file. False when the write-out
// fails (a delayed write failing, as on a full network share).
bool WriteOutFileData(HANDLE file);

// True when WriteOutFileData cannot write out, so the installed files need
// FlushInstalledFile before the version file.
bool InstalledFilesNeedFlush();

// Reopens GameFolder + `relativeName` (converted from the ANSI code page, as CreateOutputFile
// does) and flushes it to the disk. False when it cannot be opened or flushed.
bool FlushInstalledFile(const std::string& relativeName);
