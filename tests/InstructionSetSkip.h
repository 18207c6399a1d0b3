#pragma once
// The one skip that a test run may end with: a path for instructions this processor lacks.
// scripts/test.sh recognises it by the reason's prefix; under CI=true any other skip fails
// the run.

#include <gtest/gtest.h>

#define SKIP_WITHOUT_INSTRUCTIONS(what) \
  GTEST_SKIP() << "instruction set missing: this processor lacks " << what
