#pragma once
// Names as Windows compares them. Its file systems take two names for one when they match
// after upper-casing every UTF-16 unit (Unicode's simple mapping, not only A-Z: "Д.txt"
// and "д.txt" are one file) and the folder separators "/" and "\" are one.

#include <string>

// The key under which Windows takes `utf8` for the same name as any other name with that
// key. Bytes that are no valid UTF-8 are kept as they are.
std::string WindowsNameKey(const std::string& utf8);
