#pragma once
// Problems found in one run are reported together, so that a publisher can mend them all
// before the next run.

#include <cstddef>
#include <string>
#include <vector>

// Enough to show the pattern of a mistake; the count tells the rest.
constexpr size_t kProblemListLimit = 20;

// One problem as it is. Several as their count, then one indented line each for the first
// kProblemListLimit, then how many more there are.
std::string DescribeProblems(const std::vector<std::string>& problems);
