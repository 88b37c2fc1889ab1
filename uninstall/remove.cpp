// Removing the installation, in the order that keeps it uninstallable until
// it is gone: what an interrupted setup left in its staging folder, the
// payload files but the uninstaller, then the uninstaller, then
// the Program Manager items and the profile records when the profile names
// this installation, and last the directory, when the setup created it and
// nothing else is in it. Everything is removed by its name inside the held
// installation directory.
#include <string.h>

#include "desktop/progman.h"
#include "uninstall/uninstall.h"

namespace {

// The directory's entries: the directory, a separator and "*".
const int kPatternSize = kDataDirSize + 2;

char filePath[kInstalledPathSize];
char pattern[kPatternSize];

// What the directory holds once the product's files are gone.
enum DirectoryContents {
  kDirectoryEmpty = 1,
  kDirectoryHoldsFiles = 2,
  kDirectoryUnreadable = 3  // it could not be listed: nothing is known
};

// Deletes one payload file: true when it is gone.
bool DeleteInstalledFile(const char* directory, const char* name) {
  if (!JoinPath(directory, name, filePath, kInstalledPathSize)) return false;
  return DeleteFileA(filePath) || PathIsGone(filePath);
}

// Finishes what an interrupted setup left in its staging folder: its run
// rolled back or forward, its copies gone. What is not the setup's (a file
// of the user's at the folder's name, say), and a journal of another
// version, are left as they are.
bool SettleLeftovers(const char* directory, const char*) {
  StagingOutcome outcome = SettleStagingFolder(directory, kSettleToRemove);
  return outcome == kStagingSettled || outcome == kStagingForeign;
}

// Tries `remove` again for a while when something stays (virus scanners
// hold new files briefly): true when it is gone.
bool RemoveWithRetries(bool (*remove)(const char*, const char*), const char* directory,
                       const char* name) {
  for (DWORD waited = 0;; waited += kDeleteRetryPauseMs) {
    if (remove(directory, name)) return true;
    if (waited >= kDeleteRetryMs) return false;
    Sleep(kDeleteRetryPauseMs);
  }
}

DirectoryContents ListContents(const char* directory) {
  if (!JoinPath(directory, "*", pattern, kPatternSize)) return kDirectoryUnreadable;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(pattern, &found);
  if (find == INVALID_HANDLE_VALUE) {
    // A drive's root lists no "." and "..": empty is "no file found".
    return GetLastError() == ERROR_FILE_NOT_FOUND ? kDirectoryEmpty : kDirectoryUnreadable;
  }
  DirectoryContents contents = kDirectoryEmpty;
  do {
    const char* name = found.cFileName;
    bool self = strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
    if (!self) contents = kDirectoryHoldsFiles;
  } while (contents == kDirectoryEmpty && FindNextFileA(find, &found));
  FindClose(find);
  return contents;
}

}  // namespace

int RemoveInstalledFiles(const PayloadNames* names, const char* directory) {
  // First what a killed setup left, so that every file is where the
  // installation has it.
  bool complete = RemoveWithRetries(SettleLeftovers, directory, "");
  int uninstaller = -1;
  for (int i = 0; i < names->fileCount; ++i) {
    const char* name = names->names[i];
    if (strcmp(name, kUninstallerName) == 0) {
      uninstaller = i;
    } else if (!RemoveWithRetries(DeleteInstalledFile, directory, name)) {
      complete = false;
    }
  }
  // While a file stays, so does the uninstaller that can remove it later.
  if (complete && uninstaller >= 0) {
    complete = RemoveWithRetries(DeleteInstalledFile, directory, kUninstallerName);
  }
  return complete ? 1 : 0;
}

int RemoveInstallDirectory(const char* directory, int created) {
  // Gone is what the system says: a directory that another program removed
  // keeps neither files nor the record that the setup made it.
  if (HeldDirectoryIsGone()) {
    if (created) ForgetCreatedDirectory();
    return 0;
  }
  DirectoryContents contents = ListContents(directory);
  if (contents == kDirectoryHoldsFiles) return 1;
  // The held directory is real (no link) and in its place; never a root.
  if (contents != kDirectoryEmpty || !created || IsRootPath(directory) ||
      !PathNamesHeldDirectory(directory)) {
    return 0;
  }
  // A held directory cannot be removed: it is let go just before.
  ReleaseInstallDirectory();
  if (RemoveDirectoryA(directory)) ForgetCreatedDirectory();
  return 0;
}

void RemoveInstallation(const PayloadNames* names, const char* directory) {
  if (!RemoveInstalledFiles(names, directory)) {
    ReportRemoval(kRemovalIncomplete, directory);
    return;
  }
  // An older installation elsewhere leaves the current one's items and
  // records alone; the directory goes when the setup made it, whichever.
  InstallationRecord record;
  ReadInstallationRecord(directory, &record);
  if (record.current) {
    UnregisterProgramItems(directory, record.startupItem);
    ForgetInstallation();
  }
  int keptWithFiles = RemoveInstallDirectory(directory, record.created);
  ReportRemoval(keptWithFiles ? kRemovedKeptDirectory : kRemovedAll, directory);
}
