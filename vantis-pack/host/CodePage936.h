#pragma once
// Conversion between UTF-8 and code page 936, the installer's only text encoding. Strict
// both ways: no replacement characters, no best-fit substitutes.

#include <string>

// False when `utf8` is not valid UTF-8 or holds a character that code page 936 cannot.
bool ConvertUtf8ToCp936(const std::string& utf8, std::string& cp936);

// False when `cp936` holds a byte sequence that code page 936 does not define.
bool ConvertCp936ToUtf8(const std::string& cp936, std::string& utf8);
