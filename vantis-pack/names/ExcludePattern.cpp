#include "vantis-pack/names/ExcludePattern.h"

#include <algorithm>

#include "package/format/AsciiCase.h"

namespace {

// A set at pattern[at] ("[" already seen at at - 1). On success `end` is just past its "]"
// and `matched` tells whether `c` is in it. A "[" without its "]" is an ordinary character.
bool MatchSet(const std::string& pattern, size_t at, char c, size_t& end, bool& matched) {
  const bool negated = at < pattern.size() && (pattern[at] == '!' || pattern[at] == '^');
  if (negated) ++at;
  bool found = false;
  bool first = true;
  for (size_t i = at; i < pattern.size(); first = false) {
    if (pattern[i] == ']' && !first) {
      end = i + 1;
      matched = found != negated;
      return true;
    }
    char low = pattern[i];
    if (low == '\\' && i + 1 < pattern.size()) low = pattern[++i];
    char high = low;
    if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
      high = pattern[i + 2];
      i += 2;
    }
    ++i;
    const char folded = ToLowerAscii(c);
    if ((c >= low && c <= high) || (folded >= ToLowerAscii(low) && folded <= ToLowerAscii(high))) {
      found = true;
    }
  }
  return false;
}

std::vector<std::string> SplitAtSlashes(const std::string& path) {
  std::vector<std::string> names;
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find('/', start);
    names.push_back(path.substr(start, slash == std::string::npos ? slash : slash - start));
    if (slash == std::string::npos) return names;
    start = slash + 1;
  }
}

// `names` match the pattern's `parts` one by one, except that a part "**" takes any number
// of names: at least one at the end, so that "Data/**" is what Data holds, not Data itself.
bool MatchesParts(const std::vector<std::string>& parts, const std::vector<std::string>& names) {
  // reachable[i]: the parts so far match the first i names. One pass per part keeps the work
  // to parts times names, however many "**" there are.
  std::vector<bool> reachable(names.size() + 1, false);
  reachable[0] = true;
  for (size_t p = 0; p < parts.size(); ++p) {
    std::vector<bool> next(names.size() + 1, false);
    if (parts[p] == "**") {
      const size_t least = p + 1 == parts.size() ? 1 : 0;
      bool reached = false;
      for (size_t i = least; i <= names.size(); ++i) {
        reached = reached || reachable[i - least];
        next[i] = reached;
      }
    } else {
      for (size_t i = 0; i < names.size(); ++i) {
        next[i + 1] = reachable[i] && MatchesPattern(parts[p], names[i]);
      }
    }
    reachable.swap(next);
  }
  return reachable[names.size()];
}

}  // namespace

bool MatchesPattern(const std::string& pattern, const std::string& text) {
  // Iterative matching with one backtrack point, the last "*": linear in practice and
  // never recursive, whatever the pattern.
  size_t p = 0;
  size_t t = 0;
  size_t starPattern = std::string::npos;
  size_t starText = 0;
  while (t < text.size()) {
    bool advanced = false;
    if (p < pattern.size()) {
      const char c = pattern[p];
      if (c == '*') {
        starPattern = ++p;
        starText = t;
        continue;
      }
      if (c == '?' && text[t] != '/') {
        ++p;
        ++t;
        advanced = true;
      } else if (c == '[' && text[t] != '/') {
        size_t end = 0;
        bool matched = false;
        if (MatchSet(pattern, p + 1, text[t], end, matched)) {
          if (matched) {
            p = end;
            ++t;
            advanced = true;
          }
        } else if (text[t] == '[') {
          ++p;
          ++t;
          advanced = true;
        }
      } else if (c != '?' && c != '[') {
        const bool escaped = c == '\\' && p + 1 < pattern.size();
        const char literal = escaped ? pattern[p + 1] : c;
        if (ToLowerAscii(literal) == ToLowerAscii(text[t])) {
          p += escaped ? 2u : 1u;
          ++t;
          advanced = true;
        }
      }
    }
    if (advanced) continue;
    // Let the last "*" take one more character, never a "/".
    if (starPattern == std::string::npos || text[starText] == '/') return false;
    p = starPattern;
    t = ++starText;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool IsExcluded(const std::vector<std::string>& patterns, const std::string& relativeName) {
  for (std::string pattern : patterns) {
    // "cache/" means the folder as "cache" does; "/Thumbs.db" only the one at the top.
    while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
    const bool wholePath = pattern.find('/') != std::string::npos;
    if (pattern.size() > 1 && pattern.front() == '/') pattern.erase(0, 1);
    const std::vector<std::string> parts = SplitAtSlashes(pattern);
    const bool spansFolders =
        wholePath && std::find(parts.begin(), parts.end(), "**") != parts.end();
    size_t start = 0;
    for (;;) {
      const size_t slash = relativeName.find('/', start);
      const size_t end = slash == std::string::npos ? relativeName.size() : slash;
      const std::string candidate = wholePath ? relativeName.substr(0, end)
                                              : relativeName.substr(start, end - start);
      if (spansFolders ? MatchesParts(parts, SplitAtSlashes(candidate))
                       : MatchesPattern(pattern, candidate)) {
        return true;
      }
      if (slash == std::string::npos) break;
      start = slash + 1;
    }
  }
  return false;
}
