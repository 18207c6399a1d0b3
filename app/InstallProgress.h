#pragma once
// The worker's progress bar, moved a few dozen times a second at most instead of once per
// step. Under Wine each move costs a repaint on the dialog's thread while the worker waits;
// a patch of 13,000 small files spent most of its time there.
//
// Steps are gathered and shown together, at the position that stepping one at a time would
// have reached. The bar's own PBM_STEPIT wraps at the top of its range where PBM_SETPOS
// clamps, so the first step past the top is taken by the bar itself and where it lands is
// read back; later steps past the top follow the same cycle. Every message is still sent
// synchronously, so the worker never runs ahead of the dialog.

#include <windows.h>

// Sets the range 0 to `upperBound` (a 16-bit value) and step 1 on `progressBar`, the bar
// that every later call moves.
void BeginProgress(HWND progressBar, WORD upperBound);

// One step, shown at once only when the bar has not moved for a while; the first step of
// the install always is.
void StepProgress();

// Shows every gathered step: the bar then stands where one PBM_STEPIT per step puts it.
// Called before anything the user sees next (a message box, the end of the install).
void ShowProgress();
