#include "app/InstallProgress.h"

#include <commctrl.h>

namespace {

// About 25 moves a second: smooth to the eye, and few enough repaints not to show in the
// install's time.
constexpr DWORD kMoveIntervalMs = 40;

// What the bar holds, mirrored so that a move needs no question to the dialog's thread.
struct BarState {
  HWND bar = nullptr;
  int lowerBound = 0;
  int upperBound = 0;
  int position = 0;
  int pendingSteps = 0;
  // Where a step from the top lands, once the bar has shown it; -1 before.
  int wrapPosition = -1;
  DWORD lastMoveMs = 0;
};

BarState Bar;

int Send(UINT message, WPARAM wParam, LPARAM lParam) {
  return static_cast<int>(SendMessageW(Bar.bar, message, wParam, lParam));
}

// Where the pending steps put the bar, or false when they pass the top before the bar has
// shown where a step from the top lands.
bool PendingStepsTarget(int& target) {
  const int room = Bar.upperBound - Bar.position;
  if (Bar.pendingSteps <= room) {
    target = Bar.position + Bar.pendingSteps;
    return true;
  }
  // From the top the bar goes to wrapPosition, then up one per step to the top again.
  const int cycle = Bar.upperBound - Bar.wrapPosition + 1;
  if (Bar.wrapPosition < Bar.lowerBound || cycle <= 0) return false;
  target = Bar.wrapPosition + (Bar.pendingSteps - room - 1) % cycle;
  return true;
}

void MoveBar() {
  while (Bar.pendingSteps > 0) {
    int target = 0;
    if (PendingStepsTarget(target)) {
      if (target != Bar.position) Send(PBM_SETPOS, static_cast<WPARAM>(target), 0);
      Bar.position = target;
      Bar.pendingSteps = 0;
      break;
    }
    Bar.pendingSteps -= Bar.upperBound - Bar.position + 1;
    Send(PBM_SETPOS, static_cast<WPARAM>(Bar.upperBound), 0);
    Send(PBM_STEPIT, 0, 0);
    Bar.position = Bar.wrapPosition = Send(PBM_GETPOS, 0, 0);
  }
  Bar.lastMoveMs = GetTickCount();
}

}  // namespace

void BeginProgress(HWND progressBar, WORD upperBound) {
  Bar = BarState{};
  Bar.bar = progressBar;
  Send(PBM_SETRANGE, 0, MAKELPARAM(0, upperBound));
  Send(PBM_SETSTEP, 1, 0);
  // Read back rather than assumed: the bar decides what a range means, and where it starts.
  Bar.lowerBound = Send(PBM_GETRANGE, TRUE, 0);
  Bar.upperBound = Send(PBM_GETRANGE, FALSE, 0);
  Bar.position = Send(PBM_GETPOS, 0, 0);
  // The first step shows at once: the bar moves as soon as the install has begun.
  Bar.lastMoveMs = GetTickCount() - kMoveIntervalMs;
}

void StepProgress() {
  ++Bar.pendingSteps;
  // Unsigned difference: right across the tick count's wrap after 49 days.
  if (GetTickCount() - Bar.lastMoveMs >= kMoveIntervalMs) MoveBar();
}

void ShowProgress() {
  if (Bar.pendingSteps > 0) MoveBar();
}
