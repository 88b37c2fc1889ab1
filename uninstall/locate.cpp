// Where the installation is: the directory of the uninstaller's own file,
// and whether the product is installed there at all.
#include <stdio.h>
#include <string.h>

#include "uninstall/uninstall.h"

namespace {

char filePath[kInstalledPathSize];
char recorded[kDataDirSize];

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

}  // namespace

int LocateInstallation(char* directory, int size) {
  DWORD length = GetModuleFileNameA(nullptr, directory, static_cast<DWORD>(size));
  // A name that filled the buffer may have been cut.
  if (length == 0 || length >= static_cast<DWORD>(size)) return 0;
  // The ANSI name of a file whose name the code page cannot spell holds "?"
  // in place of the letters: it names no file, nor the directory.
  DWORD attributes = GetFileAttributesA(directory);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return 0;
  }
  char* lastSeparator = nullptr;
  for (char* p = directory; *p != '\0'; ++p) {
    if (IsSeparator(*p)) lastSeparator = p;
  }
  if (lastSeparator == nullptr) return 0;
  // A file at a drive's root keeps the root's separator: "C:\".
  bool driveRoot = lastSeparator == directory + 2 && directory[1] == ':';
  lastSeparator[driveRoot ? 1 : 0] = '\0';
  return 1;
}

int HoldsInstallation(const PayloadNames* names, const char* directory) {
  // Any uninstaller is named uninst.exe, so that name proves nothing; a
  // file that cannot be looked at may be the product's, so only a file the
  // system says is not there counts as missing.
  for (int i = 0; i < names->fileCount; ++i) {
    if (strcmp(names->names[i], kUninstallerName) == 0) continue;
    if (!JoinPath(directory, names->names[i], filePath, kInstalledPathSize)) continue;
    if (!PathIsGone(filePath)) return 1;
  }
  // A removal that stopped at the uninstaller left it, the items and the
  // records: the profile still names this directory, and the rest can go.
  return ReadRecordedDataDirectory("", recorded) && recorded[0] != '\0' &&
                 SameDirectory(recorded, directory)
             ? 1
             : 0;
}
