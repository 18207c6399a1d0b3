#include "FuzzTarget.h"

#include <cstdio>
#include <cstdlib>

const char* FuzzInputName = nullptr;

void FuzzCheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: fuzz property failed: %s\n", file, line, condition);
  if (FuzzInputName) std::fprintf(stderr, "input: %s\n", FuzzInputName);
  std::abort();
}
