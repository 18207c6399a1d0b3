#pragma once
// The installer's one window: dialog template IDD_INSTALL, run modally by start-up.

#include <windows.h>

// The dialog procedure. Ready: Install starts the worker, Close ends the dialog. Installing:
// Close asks whether to give up. Giving up: both buttons disabled until the worker stops.
// Every started install ends the dialog through WM_INSTALL_DONE.
INT_PTR CALLBACK InstallDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
