#include "app/game/GameVersion.h"

#include <cstdio>
#include <cstring>

#include "app/game/AsciiToInt.h"
#include "platform/File.h"

namespace {

// The game's reader expects exactly this text; for 1.0.5 it is 128 bytes.
constexpr char kVersionFileFormat[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<version>\n"
    "\t<major>%u</major>\n"
    "\t<minor>%u</minor>\n"
    "\t<build_number>%u</build_number>\n"
    "</version>\n";

constexpr uint32_t kVersionReadLimit = 4096;

// Not an XML parse: the first opening tag anywhere in the text (inside a comment too), then
// the first closing tag after it. A missing tag of either kind leaves the field at 0.
bool ReadTaggedNumber(const char* text, const char* openTag, const char* closeTag,
                      int32_t& number) {
  number = 0;
  const char* open = std::strstr(text, openTag);
  if (!open) return false;
  const char* value = open + std::strlen(openTag);
  if (!std::strstr(value, closeTag)) return false;
  // Converting in place reads the same as converting a copy of the text between the tags:
  // the closing tag begins with '<', which is neither space, sign nor digit, so the
  // conversion has stopped by then.
  number = AsciiToInt(value);
  return true;
}

}  // namespace

GameVersion PackGameVersion(int32_t major, int32_t minor, int32_t build) {
  // Unsigned 32-bit arithmetic gives the wrap-around and carries without overflow.
  const uint32_t high = static_cast<uint32_t>(major);
  const uint32_t middle = static_cast<uint32_t>(minor);
  const uint32_t low = static_cast<uint32_t>(build);
  return (high * 256u + middle) * 65536u + low;
}

std::string FormatGameVersion(GameVersion version) {
  return std::to_string(VersionMajor(version)) + "." + std::to_string(VersionMinor(version)) +
         "." + std::to_string(VersionBuild(version));
}

std::string FormatVersionFile(GameVersion version) {
  // 125 bytes of fixed text and at most 3 + 3 + 5 digits.
  char buffer[192];
  const int length = std::snprintf(buffer, sizeof buffer, kVersionFileFormat,
                                   static_cast<unsigned>(VersionMajor(version)),
                                   static_cast<unsigned>(VersionMinor(version)),
                                   static_cast<unsigned>(VersionBuild(version)));
  return std::string(buffer, static_cast<size_t>(length));
}

bool ReadVersionFileFields(const NativePath& path, VersionFileFields& fields) {
  ScopedFile file(OpenFileForSharedRead(path));
  if (!file.IsOpen()) return false;

  // One byte beyond the limit keeps the text terminated after a full read; a zero byte
  // inside the file ends the text earlier, which is why a UTF-16 file reads as 0.0.0.
  char text[kVersionReadLimit + 1] = {};
  uint32_t bytesRead = 0;
  if (!ReadFileBytes(file.Get(), text, kVersionReadLimit, &bytesRead)) return false;
  text[bytesRead] = '\0';

  VersionFileFields read;
  for (int i = 0; i < 3; ++i) {
    const std::string name = VersionFileFields::kNames[i];
    read.found[i] =
        ReadTaggedNumber(text, ("<" + name + ">").c_str(), ("</" + name + ">").c_str(),
                         read.numbers[i]);
  }
  fields = read;
  return true;
}

GameVersion ReadInstalledVersion(const NativePath& path) {
  VersionFileFields fields;
  if (!ReadVersionFileFields(path, fields)) return 0;
  return PackGameVersion(fields.numbers[0], fields.numbers[1], fields.numbers[2]);
}
