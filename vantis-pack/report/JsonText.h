#pragma once
// The pieces every JSON document of vantis-pack is made of (list, verify, build, diff and
// extract --json): strings that are valid UTF-8 whatever the input holds, and the
// "...Bytes" field that gives the exact bytes of a text that is not exactly text.

#include <string>

// The top-level "formatVersion" of every document. Raised only when a field the help calls
// stable changes its meaning or goes away; new fields may appear without it.
constexpr int kJsonFormatVersion = 1;

// `text` as a JSON string: quotes, backslashes and control characters escaped, and each
// byte that is not part of a UTF-8 character replaced by U+FFFD, so that the output is
// valid UTF-8 whatever the input holds.
std::string JsonString(const std::string& text);

// `"key": TEXT` for code page 936 text, and `"keyBytes": HEX` after it when TEXT is not
// exactly the bytes: the one field that tells two such texts apart.
std::string JsonCp936Field(const std::string& key, const std::string& cp936);

// The same for the host's bytes (a path), which are UTF-8 where valid.
std::string JsonHostTextField(const std::string& key, const std::string& text);
