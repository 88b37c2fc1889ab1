// The uninstaller's entry point. Started by a person (from the "Uninstall"
// item, or by hand with any command line) it takes the lock, holds its own
// directory, asks, closes running copies and hands the removal over to a
// copy of itself; started as that copy it holds the same directory, waits
// for the first process and removes the installation.
#include <windows.h>

#include "desktop/running_copies.h"
#include "loader/dll_search.h"
#include "uninstall/uninstall.h"
#include "ui/common_controls.h"

char installDirectory[kDataDirSize];

namespace {

// The copy: the first process asked about `installDirectory` and held it
// until this copy, which inherited that hold, holds it too.
void RunCopy(const HandOver& handOver) {
  bool held = HoldInstallDirectory(installDirectory) && IsHeldDirectory(handOver.heldDirectory);
  CloseHandle(handOver.heldDirectory);
  // The first process holds no file any more once it has ended; the lock
  // came along with the handles this copy inherited.
  WaitForSingleObject(handOver.firstProcess, kHandOverWaitMs);
  CloseHandle(handOver.firstProcess);
  if (held) {
    RemoveInstallation(&kPayloadNames, installDirectory);
  } else {
    ReportDirectoryNotHeld(installDirectory);
  }
  ReleaseInstallDirectory();
  MarkOwnFileForDeletion();
}

void RunUninstaller(LPSTR commandLine) {
  HandOver handOver;
  if (ParseHandOver(commandLine, &handOver, installDirectory, kDataDirSize) &&
      IsTrustedHandOver(handOver.firstProcess)) {
    RunCopy(handOver);
    return;
  }
  // Any other command line, whatever it names, is an ordinary start on the
  // directory of this program's own file.
  // The copy this process starts inherits the lock and keeps it.
  switch (TakeLock(kUninstallLockFormat, kSetupLockFormat, TRUE)) {
    case kLockTaken:
      break;
    case kLockHeldElsewhere:
      ReportAlreadyRemoving();
      return;
    case kLockOtherAtWork:
      ReportSetupRunning();
      return;
    case kLockFailed:
      ReportNoLock();
      return;
  }
  if (!LocateInstallation(installDirectory, kDataDirSize)) {
    ReportNoInstallation();
    return;
  }
  if (!HoldInstallDirectory(installDirectory)) {
    ReportDirectoryNotHeld(installDirectory);
    return;
  }
  if (!HoldsInstallation(&kPayloadNames, installDirectory)) {
    ReportNotInstalled(installDirectory);
    return;
  }
  if (!ConfirmRemoval(installDirectory)) return;
  // The copy is made before anything is touched, so that without one
  // nothing is; the directory stays held until this process ends.
  if (!MakeCopy()) {
    ReportNoCopy(CopyDirectory());
    return;
  }
  CloseRunningCopies();
  if (!StartCopy(installDirectory)) ReportNoCopy(CopyDirectory());
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  RestrictDllSearch();
  PrepareCommonControls();
  RunUninstaller(commandLine);
  ReleaseLock();
  return 0;
}
