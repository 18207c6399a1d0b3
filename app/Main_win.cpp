// The installer's entry point: open the appended package, run the checks, show the dialog,
// and after a complete install reset the renderer setting and report success.
//
// Exit codes: 0 once the dialog has been shown, whatever happened in it; 1 when the package
// cannot be opened (or names a file outside the game folder); 2 when a check failed or the
// user declined one of its questions.

#include <windows.h>
#include <commctrl.h>

#include "app/InstallDialog.h"
#include "app/Installer.h"
#include "app/MessageBox.h"
#include "app/Messages.h"
#include "app/PreInstallChecks.h"
#include "app/RendererSettings.h"

namespace {

constexpr int kExitDialogShown = 0;
constexpr int kExitPackageDamaged = 1;
constexpr int kExitCheckFailed = 2;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The dialog holds a progress bar, a common control.
  InitCommonControls();

  if (!OpenInstallerPackage()) {
    ShowMessage(kPackageDamaged, MB_ICONERROR);
    return kExitPackageDamaged;
  }
  if (!RunPreInstallChecks()) return kExitCheckFailed;

  AppIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_INSTALL), nullptr, InstallDialog, 0);

  // The dialog has ended, so the worker has stored its outcome or never ran. A give-up
  // confirmed after the worker had already finished still counts as giving up.
  if (InstallSucceeded.load() && !CancelRequested.load()) {
    ResetRendererSettings();
    ShowMessage(kInstallSucceededText, MB_OK);
  }
  return kExitDialogShown;
}
