// Holding the installation directory from the question to the end of the
// removal. The handle shares reading and writing but not deletion, so while
// it is open nobody can rename, delete or replace the directory, nor (on
// NTFS and FAT, which refuse to rename a directory with anything open below
// it) its parents, and every name below it keeps naming what is inside it. It is inheritable, so
// the copy the first process starts holds the directory from its start on,
// before it opens a handle of its own.
#include <windows.h>

#include "uninstall/uninstall.h"

namespace {

// A link is opened itself, not what it leads to, so it can be told apart.
const DWORD kDirectoryFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

HANDLE heldDirectory = INVALID_HANDLE_VALUE;
BY_HANDLE_FILE_INFORMATION heldInformation;

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

int HoldInstallDirectory(const char* directory) {
  HANDLE handle = HoldRealDirectory(directory, TRUE);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  if (!GetFileInformationByHandle(handle, &heldInformation)) {
    CloseHandle(handle);
    return 0;
  }
  heldDirectory = handle;
  return 1;
}

HANDLE HeldInstallDirectory() {
  return heldDirectory;
}

int IsHeldDirectory(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION information;
  return heldDirectory != INVALID_HANDLE_VALUE && handle != INVALID_HANDLE_VALUE &&
                 GetFileInformationByHandle(handle, &information) &&
                 SameFile(information, heldInformation)
             ? 1
             : 0;
}

int PathNamesHeldDirectory(const char* directory) {
  HANDLE handle = CreateFileA(directory, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, kDirectoryFlags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  int same = IsHeldDirectory(handle);
  CloseHandle(handle);
  return same;
}

int HeldDirectoryIsGone() {
  // A directory that is held cannot be deleted on Windows; elsewhere the
  // system may let another program remove it, and then it has no links.
  BY_HANDLE_FILE_INFORMATION information;
  return heldDirectory != INVALID_HANDLE_VALUE &&
                 GetFileInformationByHandle(heldDirectory, &information) &&
                 information.nNumberOfLinks == 0
             ? 1
             : 0;
}

void ReleaseInstallDirectory() {
  if (heldDirectory != INVALID_HANDLE_VALUE) CloseHandle(heldDirectory);
  heldDirectory = INVALID_HANDLE_VALUE;
}
