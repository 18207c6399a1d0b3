// Property: ReadEntryStream over any bytes, for any entry size, delivers exactly the chunks
// that the plain chunk headers describe, each with its plain length, and succeeds exactly
// when those chunks are whole, within the limits, and reach the size before anything is
// missing; it never reads past a chunk it refuses. A plain walk over the headers, written
// independently here, says what to expect.
//
// Input: the entry's size (u32, little-endian), then the stream. The stream's ciphertext
// decrypts to noise, which is all the reader needs: its decisions rest on the headers.

#include <string>
#include <vector>

#include "FuzzTarget.h"
#include "package/format/EntryStream.h"

namespace {

const std::string kKey = "entry stream key";

uint32_t Load(const std::string& bytes, size_t at, bool bigEndian) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    value = value << 8 | static_cast<uint8_t>(bytes[at + (bigEndian ? i : 3 - i)]);
  }
  return value;
}

// The plain lengths of the chunks the reader should deliver, and whether it should succeed.
bool WalkHeaders(const std::string& stream, uint32_t size, std::vector<uint32_t>& lengths) {
  if (size == 0) return true;
  uint64_t delivered = 0;
  size_t at = 0;
  for (;;) {
    if (stream.size() - at < 8) return false;
    const uint32_t plainLength = Load(stream, at, true);
    const uint32_t storedLength = Load(stream, at + 4, false);
    if (plainLength > 1048576 || storedLength > 1048568) return false;
    if (stream.size() - at - 8 < storedLength) return false;
    if (storedLength % 8 != 0 || storedLength < plainLength) return false;
    lengths.push_back(plainLength);
    delivered += plainLength;
    if (delivered >= size) return true;
    at += 8 + storedLength;
  }
}

bool CollectLength(const uint8_t*, uint32_t length, void* context) {
  static_cast<std::vector<uint32_t>*>(context)->push_back(length);
  return true;
}

}  // namespace

int FuzzOne(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const uint32_t entrySize = input.TakeU32();
  const std::string stream = input.TakeRest();

  std::vector<uint32_t> expected;
  const bool expectedRead = WalkHeaders(stream, entrySize, expected);

  WriteFuzzFile(stream.data(), stream.size());
  ScopedFile file(OpenFileForSharedRead(FuzzFilePath()));
  FUZZ_CHECK(file.IsOpen());
  std::vector<uint32_t> delivered;
  FUZZ_CHECK(ReadEntryStream(CollectLength, &delivered, file.Get(), entrySize, kKey) ==
             expectedRead);
  FUZZ_CHECK(delivered == expected);
  return 0;
}
