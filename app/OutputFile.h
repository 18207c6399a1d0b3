#pragma once
// Writing one file below GameFolder without ever leaving the old file half-replaced.
//
// The data goes into a temporary file in the target's folder, named "~vt", 8 hexadecimal
// digits drawn at random and ".tmp" ("~vt3F09A1C2.tmp"), and drawn again while the name is
// taken: whatever names the folder holds, some name is free. The name may be longer than
// the target's; where the folder and it reach MAX_PATH, the temporary file is reached by the
// "\\?\" form of its path, which has no such limit, so whatever target the system can
// create, its temporary file can be created too. The file is created with CREATE_NEW, so no
// existing file is ever opened, truncated or replaced by it, and shared with nobody while it
// is open. Only when every byte is written, written out of the cache (FileDurability.h) and
// the handle closed does one MoveFileExW put it over the target; until then the target is
// exactly as it was.
//
// A killed install leaves its temporary file behind. The first file written into a folder
// in a run removes every file there of that exact shape that can be opened without sharing:
// a file another installer is writing cannot be, and stays. Nothing tells such a leftover
// from a game file of the very same shape of name, which no game is expected to have.
//
// Paths are UTF-16 (GameFolder may hold characters outside the ANSI code page); the
// package's narrow names are converted from the ANSI code page, as the ANSI functions would.

#include <windows.h>

#include <string>

class OutputFile {
 public:
  OutputFile() = default;
  // Discards whatever has not been moved over the target.
  ~OutputFile() { Discard(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // One WriteFile of the whole block. A call that reports fewer bytes written than asked
  // counts as failed: a full disk can answer TRUE with a short count.
  bool Write(const std::string& data);

  // Writes the data out of the system's cache (WriteOutFileData) and closes the temporary
  // file. On failure the temporary file is deleted.
  bool Close();

  // Flushes the file and the disk's cache, then closes it; ReplaceTarget then returns only
  // once the move is on the disk as well. For the file that must not reach the disk before
  // everything written earlier. On failure the temporary file is deleted.
  bool CloseFlushedToDisk();

  // Moves the closed temporary file over the target, replacing it. On failure (the target
  // is a folder, read-only, or open in another program) the temporary file is deleted and
  // the target is untouched.
  bool ReplaceTarget();

  // Closes and deletes the temporary file, if there is one.
  void Discard();

 private:
  friend bool CreateOutputFile(const std::string& relativeName, OutputFile& file);

  bool CloseAfter(bool madeDurable);

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool flushedToDisk_ = false;
  std::wstring targetPath_;
  std::wstring temporaryPath_;
};

// Opens a new temporary file for the target GameFolder + `relativeName` (converted from the
// ANSI code page, "/" and "\" alike, no case folding). When the first attempt fails, for whatever
// reason, the folders named by the prefixes before each "/" of `relativeName` are created
// from the top down (an existing folder is fine; any other failure ends the attempt), and
// the file is tried once more. Names with "\" between their levels get no folders created.
// `file` must be empty (fresh or discarded). Shows no message.
bool CreateOutputFile(const std::string& relativeName, OutputFile& file);
