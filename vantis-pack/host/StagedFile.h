#pragma once
// A file that appears under its name only when it is complete, and that no end of a run,
// not even SIGKILL, leaves behind to live on.
//
// On Linux the bytes go into an unnamed file (O_TMPFILE) in the target's folder, which the
// system drops with the process; Commit gives it a temporary name and moves that over the
// target. Where the file system refuses unnamed files, and on Windows, the file is named
// from the start. Either name is ".~vantis-pack-" and 8 hexadecimal digits, 22 bytes in
// the target's folder, so it fits wherever the target's own name fits. The file is locked
// for as long as it is open (flock; on Windows, opened without sharing but for deletion),
// and Create first removes from the target's folder every file of that shape that nobody
// holds: the leftovers of a killed run, never a file another vantis-pack is writing. Any
// other end, an early return, an exception or an interruption
// (vantis-pack/host/Interruption.h), deletes the file at once.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// True when `target` is absent or a regular file: what Create accepts. `error` says what
// is there otherwise.
bool CheckReplaceable(const std::filesystem::path& target, std::string& error);

// True for a file name of the temporary files' shape, and for the names older versions gave
// them (the target's followed by ".~vantis-pack", or ".~vantis-pack1" to
// ".~vantis-pack99"): what build and diff leave out of a package.
bool IsStagedFileName(const std::string& name);

class StagedFile {
 public:
  StagedFile() = default;
  ~StagedFile() { Discard(); }
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  // Creates the temporary file; never opens an existing one. The target's folder must
  // exist, and the target must be absent or a regular file (not a link, device, pipe or
  // folder). `error` says why not, in words.
  bool Create(const std::filesystem::path& target, std::string& error);

  // Writes at the append position and moves it on by `length`.
  bool Write(const void* data, size_t length, std::string& error) {
    if (!WriteAt(position_, data, length, error)) return false;
    position_ += length;
    return true;
  }
  bool Write(const std::string& data, std::string& error) {
    return Write(data.data(), data.size(), error);
  }

  // Writes at `offset` and leaves the append position alone. Two threads may call it at
  // once for different ranges; no other member may run meanwhile.
  bool WriteAt(uint64_t offset, const void* data, size_t length, std::string& error) const;

  // Moves the append position, for instance past a range filled by WriteAt.
  void SetAppendPosition(uint64_t position) { position_ = position; }

  // Closes the temporary file and moves it over the target, replacing any file there.
  // On failure the temporary file is gone and the target as it was.
  bool Commit(std::string& error);

  // Closes and deletes the temporary file, if there is one.
  void Discard();

 private:
  // The system's calls, one file per platform. Each says in `error` what failed.
  //
  // Opens an unnamed file in `folder` into `handle_`; false where there is no such thing.
  bool CreateUnnamed(const std::filesystem::path& folder);
  // Creates exactly `path` for writing into `handle_` and locks it, or gives the unnamed
  // file that name; never opens or replaces an existing file. On failure `nameTaken` tells
  // a name in use from other trouble, which `error` words.
  bool CreateNew(const std::filesystem::path& path, bool& nameTaken, std::string& error);
  bool NameUnnamed(const std::filesystem::path& path, bool& nameTaken, std::string& error);
  bool CloseTemporaryFile(std::string& error);
  bool MoveOverTarget(std::string& error);
  void DeleteTemporaryFile();

  // Gives the file a temporary name beside the target, by `create` or `name`.
  bool TakeTemporaryName(bool unnamed, std::string& error);

  std::intptr_t handle_ = -1;
  bool unnamed_ = false;  // open, with no name yet
  uint64_t position_ = 0;
  int interruptionSlot_ = -1;
  std::filesystem::path targetPath_;
  std::filesystem::path temporaryPath_;
};

// Deletes `path` unless a running vantis-pack holds it open; the shape of its name is the
// caller's business. Each platform's file beside StagedFile's calls.
void RemoveUnheldTemporaryFile(const std::filesystem::path& path);
