// Property: ReadInstalledVersion reads a version file of any bytes without reading past
// them, and looks only at the text before the first zero byte within the first 4096 bytes:
// the same file cut there reads the same. The file FormatVersionFile writes for a version
// reads back as that version.

#include <string>

#include "FuzzTarget.h"
#include "app/game/GameVersion.h"

namespace {

constexpr size_t kSearchedLength = 4096;

GameVersion ReadFromBytes(const std::string& bytes) {
  WriteFuzzFile(bytes.data(), bytes.size());
  return ReadInstalledVersion(FuzzFilePath());
}

}  // namespace

int FuzzOne(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const GameVersion version = ReadFromBytes(bytes);

  const std::string searched = bytes.substr(0, kSearchedLength);
  FUZZ_CHECK(ReadFromBytes(searched.substr(0, searched.find('\0'))) == version);

  FuzzInput input(data, size);
  const GameVersion written = input.TakeU32();
  FUZZ_CHECK(ReadFromBytes(FormatVersionFile(written)) == written);
  return 0;
}
