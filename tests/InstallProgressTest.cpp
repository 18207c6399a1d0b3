// The worker's gathered progress steps against a real progress bar stepped one at a time:
// the same position whenever the gathered steps are shown, also where PBM_STEPIT wraps at
// the top of the range (a package of 32768 entries or more wraps the range's 16 bits).

#include "app/InstallProgress.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <vector>

namespace {

HWND CreateBar() {
  return CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 200, 20, HWND_MESSAGE, nullptr, nullptr,
                         nullptr);
}

int PositionOf(HWND bar) {
  return static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
}

TEST(InstallProgress, ShownStepsStandWhereSteppingOneAtATimePutsTheBar) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  ASSERT_TRUE(InitCommonControlsEx(&controls));
  for (const int upperBound : {1, 2, 3, 6, 7, 40}) {
    HWND reference = CreateBar();
    HWND paced = CreateBar();
    ASSERT_TRUE(reference && paced);
    SendMessageW(reference, PBM_SETRANGE, 0, MAKELPARAM(0, upperBound));
    SendMessageW(reference, PBM_SETSTEP, 1, 0);
    BeginProgress(paced, static_cast<WORD>(upperBound));

    // Positions the reference bar has held since the paced one was last shown: a move
    // that the clock allows in between must show one of them, never a made-up one.
    std::vector<int> held = {PositionOf(reference)};
    for (int step = 1; step <= 5 * upperBound + 7; ++step) {
      SendMessageW(reference, PBM_STEPIT, 0, 0);
      StepProgress();
      held.push_back(PositionOf(reference));
      const int shown = PositionOf(paced);
      ASSERT_NE(std::find(held.begin(), held.end(), shown), held.end())
          << "range 0-" << upperBound << ", step " << step << ": shows " << shown;
      // Shown after runs of different lengths, across the top and many times round.
      if (step % 3 == 0 || step % 7 == 0 || step == upperBound) {
        ShowProgress();
        ASSERT_EQ(PositionOf(paced), PositionOf(reference))
            << "range 0-" << upperBound << ", step " << step;
        held = {PositionOf(reference)};
      }
    }
    DestroyWindow(reference);
    DestroyWindow(paced);
  }
}

}  // namespace
