#include "app/InstallDialog.h"

#include "app/InstallWorker.h"
#include "app/Installer.h"
#include "app/MessageBox.h"
#include "app/Messages.h"
#include "app/game/PatchManifest.h"
#include "app/WideText.h"

namespace {

void SetNotesText(HWND window, const std::string& text) {
  SetDlgItemTextW(window, IDC_NOTES, WidenCodePage936(text).c_str());
}

void InitializeDialog(HWND window) {
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(AppIcon));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(AppIcon));
  SetNotesText(window, PatchNotes);
}

void StartInstall(HWND window) {
  // Disabled before the worker exists: there is one install per run.
  EnableWindow(GetDlgItem(window, IDC_INSTALL), FALSE);
  InstallRunning.store(1);
  WorkerThread = CreateThread(nullptr, 0, InstallWorker, nullptr, 0, nullptr);
  if (WorkerThread) return;

  // Without a worker no WM_INSTALL_DONE will come. Nothing has been written yet, so the
  // dialog ends as if closed before installing (InstallSucceeded stays 0, exit code 0) after
  // saying why; the user can run the installer again.
  InstallRunning.store(0);
  ShowMessage(kWorkerNotStarted, MB_ICONERROR);
  EndDialog(window, 0);
}

void AskGiveUp(HWND window) {
  if (ShowMessage(kAskGiveUp, MB_YESNO | MB_ICONERROR) != IDYES) return;
  CancelRequested.store(1);
  SetNotesText(window, kCancellingText);
  EnableWindow(GetDlgItem(window, IDCANCEL), FALSE);
}

}  // namespace

INT_PTR CALLBACK InstallDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogWindow.store(window);
  switch (message) {
    case WM_INITDIALOG:
      InitializeDialog(window);
      // FALSE: no control gets the focus, so no key press reaches a button by accident.
      return FALSE;

    case WM_COMMAND:
      // Escape and the close box arrive as IDCANCEL; the notification code does not matter.
      switch (LOWORD(wParam)) {
        case IDC_INSTALL:
          StartInstall(window);
          return FALSE;
        case IDCANCEL:
          if (!InstallRunning.load()) {
            EndDialog(window, static_cast<INT_PTR>(wParam));
            return TRUE;
          }
          AskGiveUp(window);
          return FALSE;
      }
      return FALSE;

    case WM_INSTALL_DONE:
      EndDialog(window, lParam);
      return TRUE;
  }
  return FALSE;
}
