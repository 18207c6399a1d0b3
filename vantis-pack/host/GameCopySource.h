#pragma once
// The game's copy of a file, given by --game, as the source a delta entry is checked
// against and applied to (delta/DeltaDecoder.h). Read only: verify and extract never change
// the game folder.

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "delta/DeltaDecoder.h"

struct GameCopySource {
  std::ifstream file;
  uint64_t length = 0;
};

enum class GameCopyOpen { kOpened, kMissing, kUnreadable };

// Opens `path` for reading: kMissing when nothing is there, kUnreadable when it is no
// regular file or cannot be opened.
GameCopyOpen OpenGameCopy(const std::filesystem::path& path, GameCopySource& source);

// The source for IsDeltaSource and DecodeEntryContent; valid while `source` lives.
DeltaSource AsDeltaSource(GameCopySource& source);
