// The names of the setup's staging folder and of the copies in it, and the
// removal of what a run left there.
#include <stdio.h>
#include <string.h>

#include "payload/payload.h"

extern const char kStagingFolderName[] = "~setup.tmp";
extern const char kStagedSuffix[] = ".new";
extern const char kAsideSuffix[] = ".old";
static_assert(sizeof kStagingFolderName - 1 + 1 + sizeof kStagedSuffix - 1 <= kStagingExtraLength &&
                  sizeof kStagingFolderName - 1 + 1 + sizeof kAsideSuffix - 1 <=
                      kStagingExtraLength,
              "kStagingExtraLength must cover the folder and either suffix");

namespace {

// A staged path: a directory of at most MAX_PATH-sized full paths' length
// on Windows, of the data directory buffer's on the host, and a file name.
const int kStagingPathSize = 1024 + 256 + kStagingExtraLength;

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// Whether nothing is at `path`, as the system says it (not merely that it
// could not be looked at).
bool IsGone(const char* path) {
  if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return false;
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool RemoveFile(const char* directory, const char* name, const char* suffix) {
  static char path[kStagingPathSize];
  if (!StagingPath(directory, name, suffix, path, kStagingPathSize)) return false;
  return DeleteFileA(path) || IsGone(path);
}

}  // namespace

int StagingPath(const char* directory, const char* name, const char* suffix, char* path, int size) {
  size_t length = strlen(directory);
  const char* separator = length == 0 || IsSeparator(directory[length - 1]) ? "" : "\\";
  // Inside the folder a forward slash, which Windows reads as a separator
  // too: the C runtime's own file functions then take the relative path on
  // every platform the program is built for.
  int n = snprintf(path, static_cast<size_t>(size), "%s%s%s/%s%s", directory, separator,
                   kStagingFolderName, name, suffix);
  return n >= 0 && n < size ? 1 : 0;
}

int StagingFolderPath(const char* directory, char* path, int size) {
  // A staging path with no name and no suffix, less its trailing separator.
  if (!StagingPath(directory, "", "", path, size)) return 0;
  path[strlen(path) - 1] = '\0';
  return 1;
}

int RemoveStagedCopies(const char* directory, const char* name) {
  bool staged = RemoveFile(directory, name, kStagedSuffix);
  bool aside = RemoveFile(directory, name, kAsideSuffix);
  return staged && aside ? 1 : 0;
}

int RemoveStagingFolder(const char* directory) {
  static char path[kStagingPathSize];
  if (!StagingFolderPath(directory, path, kStagingPathSize)) return 0;
  // A link of the folder's name is not the setup's folder: it stays.
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return IsGone(path) ? 1 : 0;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return 0;
  return RemoveDirectoryA(path) || IsGone(path) ? 1 : 0;
}
