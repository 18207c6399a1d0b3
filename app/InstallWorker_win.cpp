#include "app/InstallWorker.h"

#include <commctrl.h>

#include <vector>

#include "app/GameVersion.h"
#include "app/Installer.h"
#include "app/MessageBox.h"
#include "app/Messages.h"
#include "app/OutputFile.h"
#include "app/PatchManifest.h"
#include "package/ManifestName.h"
#include "package/PackageIndex.h"

namespace {

// Every message to the dialog is sent, not posted: the worker goes on only once the dialog's
// thread has handled it. That thread keeps handling sent messages inside the modal loop and
// inside its own message box, so the worker never waits for good.
void SendToProgressBar(UINT message, WPARAM wParam, LPARAM lParam) {
  SendDlgItemMessageW(DialogWindow.load(), IDC_PROGRESS, message, wParam, lParam);
}

bool AskRetry(const char* text) {
  return ShowMessage(text, MB_ICONERROR | MB_RETRYCANCEL) == IDRETRY;
}

// Every Retry starts again from a fresh temporary file with the first block, so a retried
// file never mixes old and new data.
bool WriteBlocksWithRetry(const std::string& relativeName, const std::vector<std::string>& blocks) {
  for (;;) {
    OutputFile file;
    if (!CreateOutputFile(relativeName, file)) {
      if (AskRetry(kFolderNotWritable)) continue;
      return false;
    }
    bool written = true;
    for (const std::string& block : blocks) {
      if (!file.Write(block)) {
        written = false;
        break;
      }
    }
    if (!written || !file.Close()) {
      // Discarded before asking: the open temporary file must not stay locked, nor take up
      // the disk space the user is asked to free.
      file.Discard();
      if (AskRetry(kWriteFailed)) continue;
      return false;
    }
    if (!file.ReplaceTarget()) {
      if (AskRetry(kFolderNotWritable)) continue;
      return false;
    }
    return true;
  }
}

bool RunInstall() {
  // The range counts the manifest, which the walk skips, and travels as 16 bits.
  const auto upperBound = static_cast<WORD>((PackageIndex.size() * 2) & 0xFFFFu);
  SendToProgressBar(PBM_SETRANGE, 0, MAKELPARAM(0, upperBound));
  SendToProgressBar(PBM_SETSTEP, 1, 0);

  for (const auto& [name, entry] : PackageIndex) {
    if (CancelRequested.load()) return false;
    if (IsManifestNameInAnyCase(name)) continue;
    if (!ExtractEntry(name, entry)) return false;
    SendToProgressBar(PBM_STEPIT, 0, 0);
  }
  // Giving up during the last entry still leaves the version as it was.
  if (CancelRequested.load()) return false;
  return WriteVersionFile();
}

}  // namespace

bool ExtractEntry(const std::string& name, const PackageEntry& entry) {
  // Read and decrypted whole before the file is touched: a damaged entry costs memory for
  // its chunks, never a game file.
  std::vector<std::string> chunks;
  if (!ReadEntryChunks(chunks, entry)) {
    ShowMessage(kEntryDamaged, MB_ICONERROR);
    return false;
  }
  if (CancelRequested.load()) return false;
  SendToProgressBar(PBM_STEPIT, 0, 0);
  return WriteBlocksWithRetry(name, chunks);
}

bool WriteVersionFile() {
  return WriteBlocksWithRetry("Bin\\version.xml", {FormatVersionFile(PatchVersion)});
}

DWORD WINAPI InstallWorker(LPVOID) {
  bool succeeded = false;
  try {
    succeeded = RunInstall();
  } catch (...) {
    // Out of memory outside the entry reads: the install ends unfinished, but the dialog
    // must still be told, or it would wait for ever.
    succeeded = false;
  }
  // Stored before InstallRunning is cleared: a Close that sees the install over and ends the
  // dialog then finds the final outcome.
  InstallSucceeded.store(succeeded ? 1 : 0);
  InstallRunning.store(0);
  SendMessageW(DialogWindow.load(), WM_INSTALL_DONE, 0, 0);
  return 0;
}
