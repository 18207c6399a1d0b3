#pragma once
// A file that appears under its name only when it is complete. The bytes go into a new
// file beside the target (its name followed by ".~vantis-pack", or ".~vantis-pack1" to
// ".~vantis-pack99" when that name is taken); only Commit moves it over the target. Any
// other end, an early return, an exception or an interruption (vantis-pack/Interruption.h),
// deletes it, so a failed run never leaves a partial file under the target's name or
// anywhere else.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// True when `target` is absent or a regular file: what Create accepts. `error` says what
// is there otherwise.
bool CheckReplaceable(const std::filesystem::path& target, std::string& error);

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

  const std::filesystem::path& TemporaryPath() const { return temporaryPath_; }

 private:
  // Creates exactly `path` for writing into `handle_`; never opens an existing file. On
  // failure `nameTaken` tells a name in use from other trouble, which `error` words.
  bool CreateNew(const std::filesystem::path& path, bool& nameTaken, std::string& error);
  // The system's other calls, one file per platform like CreateNew. Each says in `error`
  // what failed.
  bool CloseTemporaryFile(std::string& error);
  bool MoveOverTarget(std::string& error);
  void DeleteTemporaryFile();

  std::intptr_t handle_ = -1;
  uint64_t position_ = 0;
  int interruptionSlot_ = -1;
  std::filesystem::path targetPath_;
  std::filesystem::path temporaryPath_;
};
