#pragma once
// The game's current copy of a file, as the source a delta entry is applied to. Opened for
// reading only, shared with readers only, and never written: a file the delta does not fit
// stays exactly as it was.

#include <windows.h>

#include <string>

#include "delta/DeltaDecoder.h"

class GameFileSource {
 public:
  // GameFolder + `relativeName` (the package's narrow name, in the ANSI code page).
  explicit GameFileSource(const std::string& relativeName);
  ~GameFileSource();
  GameFileSource(const GameFileSource&) = delete;
  GameFileSource& operator=(const GameFileSource&) = delete;

  // False when the file is missing or cannot be read.
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  // The source for ApplyDelta and IsDeltaSource; valid while this object lives.
  DeltaSource AsDeltaSource();

 private:
  static bool Read(uint64_t offset, uint8_t* buffer, uint32_t length, void* context);

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  uint64_t length_ = 0;
};
