#include "vantis-pack/host/CodePage936.h"

#include <windows.h>

#include <climits>

namespace {

constexpr UINT kCodePage936 = 936;

bool ToWide(UINT codePage, const std::string& input, std::wstring& wide) {
  wide.clear();
  if (input.empty()) return true;
  if (input.size() > INT_MAX) return false;
  const int length = static_cast<int>(input.size());
  const int size = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, input.data(), length,
                                       nullptr, 0);
  if (size <= 0) return false;
  wide.resize(static_cast<size_t>(size));
  return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, input.data(), length, wide.data(),
                             size) == size;
}

// WC_NO_BEST_FIT_CHARS keeps characters that code page 936 lacks from turning into look-
// alikes; the default-character flag then reports them. UTF-8 takes neither argument.
bool FromWide(UINT codePage, const std::wstring& wide, std::string& output) {
  output.clear();
  if (wide.empty()) return true;
  const int length = static_cast<int>(wide.size());
  const bool strict = codePage != CP_UTF8;
  const DWORD flags = strict ? WC_NO_BEST_FIT_CHARS : WC_ERR_INVALID_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultOut = strict ? &usedDefault : nullptr;
  const int size = WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr,
                                       usedDefaultOut);
  if (size <= 0 || usedDefault) return false;
  output.resize(static_cast<size_t>(size));
  return WideCharToMultiByte(codePage, flags, wide.data(), length, output.data(), size, nullptr,
                             usedDefaultOut) == size &&
         !usedDefault;
}

}  // namespace

bool ConvertUtf8ToCp936(const std::string& utf8, std::string& cp936) {
  std::wstring wide;
  std::string result;
  if (!ToWide(CP_UTF8, utf8, wide) || !FromWide(kCodePage936, wide, result)) return false;
  cp936.swap(result);
  return true;
}

bool ConvertCp936ToUtf8(const std::string& cp936, std::string& utf8) {
  std::wstring wide;
  std::string result;
  if (!ToWide(kCodePage936, cp936, wide) || !FromWide(CP_UTF8, wide, result)) return false;
  utf8.swap(result);
  return true;
}
