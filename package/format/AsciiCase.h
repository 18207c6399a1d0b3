#pragma once
// ASCII case folding: only A-Z change. A trail byte of a code page 936 character can be
// one of them too, so a caller that folds names steps over such pairs itself.

#include <string>
#include <string_view>

inline char ToLowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ToLowerAscii(std::string text) {
  for (char& c : text) c = ToLowerAscii(c);
  return text;
}

inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  }
  return true;
}
