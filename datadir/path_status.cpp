// Classifies a typed name as not found, a directory or a file, the way the
// runtime library's status query does on Windows.
#include <string.h>

#include "datadir/datadir.h"

namespace {

// Room for a full path as the runtime library forms it.
const int kFullPathSize = MAX_PATH;

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

bool HasDriveDesignator(const char* name) {
  return name[0] != '\0' && name[1] == ':';
}

// True when the name, after an optional drive designator, is empty or one
// separator: the root of a drive or of the current drive.
bool NamesRoot(const char* name) {
  const char* rest = HasDriveDesignator(name) ? name + 2 : name;
  return rest[0] == '\0' || (IsSeparator(rest[0]) && rest[1] == '\0');
}

PathStatus ClassifyDriveRoot(const char* name) {
  if (strpbrk(name, "./\\") == nullptr) return kPathNotFound;
  char fullPath[kFullPathSize];
  DWORD length = GetFullPathNameA(name, kFullPathSize, fullPath, nullptr);
  if (length != 3) return kPathNotFound;  // Also covers failure (0) and overflow.
  return GetDriveTypeA(fullPath) > DRIVE_NO_ROOT_DIR ? kPathDirectory : kPathNotFound;
}

}  // namespace

PathStatus QueryPathStatus(const char* name) {
  if (strpbrk(name, "?*") != nullptr) return kPathNotFound;
  if (HasDriveDesignator(name) && name[2] == '\0') return kPathNotFound;

  // The platform's lookup finds nothing for a name that ends in a separator,
  // so the lookup leaves one trailing separator out. A root keeps its own
  // ("\", "C:\"): the lookup cannot find a root, the drive-root rule does.
  char lookupName[kDataDirSize];
  size_t length = strlen(name);
  if (length >= sizeof lookupName) return kPathNotFound;
  memcpy(lookupName, name, length + 1);
  if (length > 0 && IsSeparator(name[length - 1]) && !NamesRoot(name)) {
    lookupName[length - 1] = '\0';
  }

  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(lookupName, &found);
  if (find == INVALID_HANDLE_VALUE) return ClassifyDriveRoot(name);
  FindClose(find);
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || NamesRoot(name)) {
    return kPathDirectory;
  }
  return kPathFile;
}
