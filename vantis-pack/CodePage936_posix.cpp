#include "vantis-pack/CodePage936.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace {

// glibc's CP936 is the Windows table, 0x80 for the euro sign included. Without
// "//TRANSLIT" or "//IGNORE", iconv stops at the first character it cannot map.
bool Convert(const char* to, const char* from, const std::string& input, std::string& output) {
  iconv_t converter = ::iconv_open(to, from);
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
    if (done == static_cast<size_t>(-1) && errno != E2BIG) {
      ok = false;  // EILSEQ: unmappable or malformed; EINVAL: cut off at the end
      break;
    }
  }
  ::iconv_close(converter);
  if (ok) output.swap(result);
  return ok;
}

}  // namespace

bool ConvertUtf8ToCp936(const std::string& utf8, std::string& cp936) {
  return Convert("CP936", "UTF-8", utf8, cp936);
}

bool ConvertCp936ToUtf8(const std::string& cp936, std::string& utf8) {
  return Convert("UTF-8", "CP936", cp936, utf8);
}
