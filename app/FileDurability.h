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
// it slowed the next calls down as well. A batch's flushes run side by side on a few
// short-lived threads, so that the file system can take them to the disk together (on
// Linux, one journal commit and one flush of the disk's cache for many files) rather than
// one after another.

#include <windows.h>

#include <string>

// Writes the data of a file open for writing out of the system's cache, without metadata
// and without flushing the disk's cache; where the file system refuses that, flushes the
// file whole. Does nothing where the call is missing; then FlushInstalledFiles must follow
// for it before the version file. False when the data cannot be written (a delayed write
// failing, as on a full network share).
bool WriteOutFileData(HANDLE file);

// True when WriteOutFileData cannot write out, so the installed files need
// FlushInstalledFiles before the version file.
bool InstalledFilesNeedFlush();

// The most files FlushInstalledFiles takes at once.
constexpr size_t kFlushBatchLimit = 64;

// Reopens GameFolder + each of the `count` relative names (converted from the ANSI code
// page, as CreateOutputFile does; at most kFlushBatchLimit) and flushes them to the disk
// together. Returns `count` when every file was flushed, else the index of the first that
// could not be opened or flushed.
size_t FlushInstalledFiles(const std::string* const* relativeNames, size_t count);
