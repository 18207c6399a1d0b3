// The progress bar on a terminal: at most about ten redraws a second however many files
// there are, and the first and the finished state always shown.

#include "vantis-pack/report/Progress.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "TempFile.h"

namespace {

TEST(ProgressBar, RedrawsAtMostTenTimesASecondForManyFiles) {
  TempFile file;
  std::FILE* terminal = std::fopen(file.Path().c_str(), "wb");
  ASSERT_NE(terminal, nullptr);
  constexpr int kFiles = 5000;
  const auto start = std::chrono::steady_clock::now();
  {
    ProgressBar progress(terminal, kFiles);
    for (int i = 0; i < kFiles; ++i) progress.Advance(1, "Data/file" + std::to_string(i));
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  std::fclose(terminal);
  const std::string shown = file.Read();

  size_t draws = 0;
  for (char c : shown) draws += c == '\r';
  // Each draw starts with one carriage return; the clearing at the end has two. Whatever
  // the machine's speed: the first draw, the finished one, one per tenth of a second.
  const auto tenths = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 100;
  EXPECT_LE(draws, static_cast<size_t>(2 + tenths + 2)) << shown.size() << " bytes";
  EXPECT_NE(shown.find("]   0% Data/file0 "), std::string::npos);
  EXPECT_NE(shown.find("] 100% Data/file4999 "), std::string::npos);
}

}  // namespace
