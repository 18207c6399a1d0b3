#pragma once
// Where a vantis-pack command writes besides its result: the report to `out`, notices to
// `err`, and a progress bar to `progressTerminal` when that is set. A command's failure
// comes back as its `error` text instead, for the caller to print once.

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>

struct CommandOutput {
  std::ostream& out;
  std::ostream& err;
  std::FILE* progressTerminal = nullptr;
};

// 5242880 as "5,242,880": sizes in reports are read by people.
inline std::string FormatCount(uint64_t value) {
  std::string digits = std::to_string(value);
  for (size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return digits;
}
