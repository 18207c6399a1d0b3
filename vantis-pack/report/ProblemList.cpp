#include "vantis-pack/report/ProblemList.h"

std::string DescribeProblems(const std::vector<std::string>& problems) {
  if (problems.size() == 1) return problems.front();
  std::string text = std::to_string(problems.size()) + " problems:";
  for (size_t i = 0; i < problems.size() && i < kProblemListLimit; ++i) {
    text += "\n  " + problems[i];
  }
  if (problems.size() > kProblemListLimit) {
    text += "\n  ... and " + std::to_string(problems.size() - kProblemListLimit) + " more";
  }
  return text;
}
