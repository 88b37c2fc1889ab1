// Removing the installation: the payload files by name, the directory when
// nothing else is in it, and the profile entry when it names the directory.
#include "uninstall/uninstall.h"

namespace {

char filePath[kInstalledPathSize];

bool Exists(const char* path) {
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int RemoveInstalledFiles(const PayloadNames* names, const char* directory) {
  int complete = 1;
  for (int i = 0; i < names->fileCount; ++i) {
    if (!JoinPath(directory, names->names[i], filePath, kInstalledPathSize)) {
      complete = 0;
      continue;
    }
    // A file that is already gone is fine; one that stays is reported.
    if (!DeleteFileA(filePath) && Exists(filePath)) complete = 0;
  }
  return complete;
}

int RemoveDirectoryIfEmpty(const char* directory) {
  RemoveDirectoryA(directory);
  return Exists(directory) ? 0 : 1;
}

void RemoveInstallation(const PayloadNames* names, const char* directory) {
  int complete = RemoveInstalledFiles(names, directory);
  complete &= RemoveDirectoryIfEmpty(directory);
  ForgetDataDirectory(directory);
  ReportRemoval(complete, directory);
}
