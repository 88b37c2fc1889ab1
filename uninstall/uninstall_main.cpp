// The uninstaller's entry point. Started by the user (from the "Uninstall"
// item) it asks, closes running copies, removes the Program Manager items and
// hands the removal of the files over to a copy of itself; started as that
// copy it waits for the first process and removes the installation.
#include <windows.h>

#include "desktop/progman.h"
#include "desktop/running_copies.h"
#include "loader/dll_search.h"
#include "uninstall/uninstall.h"

char installDirectory[kDataDirSize];

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  RestrictDllSearch();
  HANDLE firstProcess = nullptr;
  if (ParseHandOver(commandLine, &firstProcess, installDirectory, kDataDirSize)) {
    if (WaitForSingleObject(firstProcess, kHandOverWaitMs) != WAIT_FAILED) {
      CloseHandle(firstProcess);
      RemoveInstallation(&kPayloadNames, installDirectory);
      MarkOwnFileForDeletion();
    } else if (ConfirmRemoval(installDirectory)) {
      // No first process stands behind this command line: a person typed
      // it, and has now been asked.
      RemoveInstallation(&kPayloadNames, installDirectory);
    }
    return 0;
  }
  // Started by the user: this program works on its own directory.
  if (!LocateInstallation(installDirectory, kDataDirSize)) {
    ReportNoInstallation();
    return 0;
  }
  if (!ConfirmRemoval(installDirectory)) return 0;
  CloseRunningCopies();
  UnregisterProgramItems();
  // Without a copy this process removes what it can; its own file stays on
  // Windows, and the closing message says so.
  if (!HandOverToCopy(installDirectory)) RemoveInstallation(&kPayloadNames, installDirectory);
  return 0;
}
