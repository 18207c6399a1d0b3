#pragma once
// A one-line progress bar for long operations. It draws only on a terminal: logs and pipes
// get no carriage returns. It redraws at most ten times a second, whatever the number of
// files: a terminal over a slow link would otherwise spend more time on the bar than the
// work takes.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

class ProgressBar {
 public:
  // `terminal` null keeps the bar silent. `totalLength` is in whatever unit Advance counts.
  ProgressBar(std::FILE* terminal, uint64_t totalLength);
  // Clears the bar's line, so that a message written afterwards starts at the margin.
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void Advance(uint64_t length, const std::string& label);

 private:
  void Draw(const std::string& label);

  std::FILE* terminal_;
  uint64_t totalLength_;
  uint64_t doneLength_ = 0;
  int shownPermille_ = -1;
  std::chrono::steady_clock::time_point shownAt_;
};

// stderr when it is a terminal, otherwise null.
std::FILE* ProgressTerminal();
