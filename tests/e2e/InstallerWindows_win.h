#pragma once
// Reading and pressing the windows of one running installer from another process, the
// way a user sees them: its message boxes and its install dialog.
//
// Every call that reaches into the installer uses a bounded send, so a hung installer
// makes a read fail instead of hanging the driver.

#include <windows.h>

#include <string>
#include <vector>

struct MessageBoxView {
  std::wstring caption;
  std::wstring text;
  std::vector<int> buttonIds;  // visible buttons, ascending
  std::string icon;            // "none", "error", "warning", "information", "question" or "present"
};

struct InstallDialogView {
  std::wstring caption;
  std::wstring notes;
  int progressLow = 0;
  int progressHigh = 0;
  int progressPosition = 0;
  bool installEnabled = false;
  bool closeEnabled = false;
};

// Visible top-level message boxes of the process, in no particular order. A message box is
// a dialog-class window holding the text static 0xFFFF; the install dialog is not one.
std::vector<HWND> FindMessageBoxes(DWORD processId);

// The visible install dialog of the process (a dialog-class window holding control 102),
// or null.
HWND FindInstallDialog(DWORD processId);

bool ReadMessageBox(HWND box, MessageBoxView& view);
bool ReadInstallDialog(HWND dialog, InstallDialogView& view);

// What a click on the control would send its dialog. Posted: a click that opens a modal
// box of the installer's own would otherwise block the driver until that box ends.
bool PostButtonClick(HWND dialog, int controlId);

// The window as it shows on the screen, written to `path` as a 32-bit BMP.
bool SaveWindowImage(HWND window, const std::wstring& path);
