#include "vantis-pack/host/GameCopySource.h"

namespace fs = std::filesystem;

namespace {

bool ReadGameCopy(uint64_t offset, uint8_t* buffer, uint32_t length, void* context) {
  std::ifstream& file = static_cast<GameCopySource*>(context)->file;
  file.clear();
  file.seekg(static_cast<std::streamoff>(offset));
  file.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(length));
  return file.gcount() == static_cast<std::streamsize>(length);
}

}  // namespace

GameCopyOpen OpenGameCopy(const fs::path& path, GameCopySource& source) {
  std::error_code failure;
  const fs::file_status status = fs::status(path, failure);
  if (status.type() == fs::file_type::not_found) return GameCopyOpen::kMissing;
  if (status.type() != fs::file_type::regular) return GameCopyOpen::kUnreadable;
  const uintmax_t length = fs::file_size(path, failure);
  if (failure) return GameCopyOpen::kUnreadable;
  source.file.open(path, std::ios::binary);
  if (!source.file.is_open()) return GameCopyOpen::kUnreadable;
  source.length = length;
  return GameCopyOpen::kOpened;
}

DeltaSource AsDeltaSource(GameCopySource& source) {
  return DeltaSource{source.length, ReadGameCopy, &source};
}
