// Removing the installation, in the order that keeps it uninstallable until
// it is gone: the payload files but the uninstaller, the uninstaller, then
// the Program Manager items and the profile records when the profile names
// this installation, and last the directory, when the setup created it and
// nothing else is in it.
#include <string.h>

#include "desktop/progman.h"
#include "uninstall/uninstall.h"

namespace {

const char kUninstallerName[] = "uninst.exe";
// The directory's entries: the directory, a separator and "*".
const int kPatternSize = kDataDirSize + 2;

char filePath[kInstalledPathSize];
char pattern[kPatternSize];

// Deletes one payload file, trying again for a while when it stays: 1 when
// it is gone.
bool DeleteInstalledFile(const char* directory, const char* name) {
  if (!JoinPath(directory, name, filePath, kInstalledPathSize)) return false;
  for (DWORD waited = 0;; waited += kDeleteRetryPauseMs) {
    if (DeleteFileA(filePath) || PathIsGone(filePath)) return true;
    if (waited >= kDeleteRetryMs) return false;
    Sleep(kDeleteRetryPauseMs);
  }
}

// 1 when the directory holds nothing, 0 when it holds something or cannot
// be listed (it is then kept, as if it held files).
bool DirectoryIsEmpty(const char* directory) {
  if (!JoinPath(directory, "*", pattern, kPatternSize)) return false;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(pattern, &found);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  bool empty = true;
  do {
    const char* name = found.cFileName;
    bool self = strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
    if (!self) empty = false;
  } while (empty && FindNextFileA(find, &found));
  FindClose(find);
  return empty;
}

}  // namespace

int PathIsGone(const char* path) {
  if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return 0;
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 1 : 0;
}

int RemoveInstalledFiles(const PayloadNames* names, const char* directory) {
  bool complete = true;
  const char* uninstaller = nullptr;
  for (int i = 0; i < names->fileCount; ++i) {
    if (strcmp(names->names[i], kUninstallerName) == 0) {
      uninstaller = names->names[i];
    } else if (!DeleteInstalledFile(directory, names->names[i])) {
      complete = false;
    }
  }
  // While a file stays, so does the uninstaller that can remove it later.
  if (complete && uninstaller != nullptr) complete = DeleteInstalledFile(directory, uninstaller);
  return complete ? 1 : 0;
}

int RemoveInstallDirectory(const char* directory, int created) {
  DWORD attributes = GetFileAttributesA(directory);
  if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
  if (!DirectoryIsEmpty(directory)) return 1;
  // Never a root, never through a link: only a real directory that the
  // setup made goes, and with it the record that it made it.
  bool realDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                       (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  if (created && realDirectory && !IsRootPath(directory) && RemoveDirectoryA(directory)) {
    ForgetCreatedDirectory();
  }
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
