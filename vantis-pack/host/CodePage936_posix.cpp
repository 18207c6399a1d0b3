#include "vantis-pack/host/CodePage936.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

#include "vantis-pack/host/CodePage936PrivateUse.h"

namespace {

enum class Direction { kToCp936, kFromCp936 };

// What iconv stopped at, when it is a private-use code (vantis-pack/host/CodePage936PrivateUse.h)
// that Windows converts and the C library's table lacks: its conversion is appended and
// `in` moved past it.
bool ConvertPrivateUse(Direction direction, char*& in, size_t& inLeft, std::string& result) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(in);
  if (direction == Direction::kFromCp936) {
    uint32_t code = 0;
    if (inLeft < 2 || !DecodeCp936PrivateUse(bytes[0], bytes[1], code)) return false;
    // U+E000-U+E864: three bytes of UTF-8.
    result += static_cast<char>(0xE0 | (code >> 12));
    result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    result += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    if (inLeft < 3 || (bytes[0] & 0xF0) != 0xE0 || (bytes[1] & 0xC0) != 0x80 ||
        (bytes[2] & 0xC0) != 0x80) {
      return false;
    }
    const uint32_t code =
        (bytes[0] & 0x0Fu) << 12 | (bytes[1] & 0x3Fu) << 6 | (bytes[2] & 0x3Fu);
    uint8_t lead = 0;
    uint8_t trail = 0;
    if (!EncodeCp936PrivateUse(code, lead, trail)) return false;
    result += static_cast<char>(lead);
    result += static_cast<char>(trail);
  }
  const size_t consumed = direction == Direction::kFromCp936 ? 2 : 3;
  in += consumed;
  inLeft -= consumed;
  return true;
}

// glibc's CP936 is the Windows table, 0x80 for the euro sign included, less the private-use
// codes, which are converted here. Without "//TRANSLIT" or "//IGNORE", iconv stops at the
// first character it cannot map.
bool Convert(Direction direction, const std::string& input, std::string& output) {
  const bool toCp936 = direction == Direction::kToCp936;
  iconv_t converter = ::iconv_open(toCp936 ? "CP936" : "UTF-8", toCp936 ? "UTF-8" : "CP936");
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;

  std::string result;
  std::vector<char> buffer(4096);
  char* in = const_cast<char*>(input.data());  // iconv's signature, not a write
  size_t inLeft = input.size();
  bool ok = true;
  while (inLeft > 0) {
    char* out = buffer.data();
    size_t outLeft = buffer.size();
    const size_t done = ::iconv(converter, &in, &inLeft, &out, &outLeft);
    result.append(buffer.data(), buffer.size() - outLeft);
    if (done != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // EILSEQ: unmappable or malformed; EINVAL: cut off at the end.
    if (errno == EILSEQ && ConvertPrivateUse(direction, in, inLeft, result)) continue;
    ok = false;
    break;
  }
  ::iconv_close(converter);
  if (ok) output.swap(result);
  return ok;
}

}  // namespace

bool ConvertUtf8ToCp936(const std::string& utf8, std::string& cp936) {
  return Convert(Direction::kToCp936, utf8, cp936);
}

bool ConvertCp936ToUtf8(const std::string& cp936, std::string& utf8) {
  return Convert(Direction::kFromCp936, cp936, utf8);
}
