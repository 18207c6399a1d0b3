#pragma once
// --exclude: shell-style patterns that leave files out of a patch.
//
// `*` matches any run of characters within one name, `?` one character, `[abc]`, `[a-z]`
// and `[!abc]` one of a set (or not of it); `\` takes the next character as it is. Letter
// case is ignored for ASCII, as Windows ignores it. A pattern without "/" is matched
// against every name along the path, so that `.git` leaves out the whole folder and
// `*.pdb` every such file at any depth. A pattern with "/" is matched against the whole
// relative path and each folder on it from the top: `Data/cache` leaves out that folder,
// `Data/*.tmp` those files directly in Data, `/Thumbs.db` only the one at the top. A "/" at
// the end changes nothing: `cache/` is `cache`. As in .gitignore, a "**" that is a whole
// folder of a pattern with "/" stands for any number of folders: `**/*.pdb` at any depth,
// `Data/**/*.tmp` in Data or below it, `Data/**` everything Data holds (one or more
// names); any other "**" is "*".

#include <string>
#include <vector>

// `text` as a whole matches `pattern`. Wildcards never match "/".
bool MatchesPattern(const std::string& pattern, const std::string& text);

// `relativeName` ("/" between folders) is left out by one of `patterns`.
bool IsExcluded(const std::vector<std::string>& patterns, const std::string& relativeName);
