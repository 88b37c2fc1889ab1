// The uninstaller's entry point. Started by a person (from the "Uninstall"
// item, or with a command line that names a directory) it takes the lock,
// asks, closes running copies and hands the removal over to a copy of
// itself; started as that copy it waits for the first process and removes
// the installation.
#include <windows.h>

#include "desktop/running_copies.h"
#include "loader/dll_search.h"
#include "uninstall/uninstall.h"

char installDirectory[kDataDirSize];

namespace {

void RunUninstaller(LPSTR commandLine) {
  HANDLE firstProcess = nullptr;
  bool handOver = ParseHandOver(commandLine, &firstProcess, installDirectory, kDataDirSize) != 0;
  if (handOver && IsTrustedHandOver(firstProcess)) {
    // The first process asked and holds no file any more once it has ended;
    // the lock came along with the handles this copy inherited.
    WaitForSingleObject(firstProcess, kHandOverWaitMs);
    CloseHandle(firstProcess);
    RemoveInstallation(&kPayloadNames, installDirectory);
    MarkOwnFileForDeletion();
    return;
  }
  if (!TakeUninstallLock()) {
    ReportAlreadyRemoving();
    return;
  }
  if (handOver) {
    // No first process stands behind this command line: a person typed it,
    // and is asked about the directory it names, by its full path.
    if (MakeFullPath(installDirectory) < 0) return;
  } else if (!LocateInstallation(installDirectory, kDataDirSize)) {
    ReportNoInstallation();
    return;
  }
  if (!ConfirmRemoval(installDirectory)) return;
  CloseRunningCopies();
  // Without a copy this process removes what it can; its own file stays on
  // Windows, and with it the installation's items, so it can run again.
  if (!HandOverToCopy(installDirectory)) RemoveInstallation(&kPayloadNames, installDirectory);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  RestrictDllSearch();
  RunUninstaller(commandLine);
  ReleaseUninstallLock();
  return 0;
}
