// The names of the setup's staging folder and of the copies in it, and the
// removal of what a run left there.
#include <stdio.h>
#include <string.h>

#include "payload/payload.h"

extern const char kStagingFolderName[] = "~setup.tmp";
extern const char kStagedSuffix[] = ".new";
extern const char kAsideSuffix[] = ".old";
// The folder, a separator, a subfolder of the largest file index's digits,
// a separator and the longer suffix.
static_assert(sizeof kStagingFolderName - 1 + 1 + 8 + 1 + sizeof kStagedSuffix - 1 <=
                      kStagingExtraLength &&
                  sizeof kAsideSuffix == sizeof kStagedSuffix && 0x7fffffff / kStagingBatch < 1e8,
              "kStagingExtraLength must cover the folder, any subfolder and either suffix");

namespace {

// A staged path: a directory of at most the data directory buffer's length,
// a file name of at most 255 characters, and the staging part.
const int kStagingPathSize = 1024 + 256 + kStagingExtraLength;

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool RemoveFile(const char* directory, int index, const char* name, const char* suffix) {
  static char path[kStagingPathSize];
  if (!StagingPath(directory, index, name, suffix, path, kStagingPathSize)) return false;
  return DeleteFileA(path) || PathIsGone(path);
}

// Removes an empty folder; a link of its name is not the setup's and stays.
bool RemoveFolder(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathIsGone(path);
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
  return RemoveDirectoryA(path) || PathIsGone(path);
}

}  // namespace

int PathIsGone(const char* path) {
  if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return 0;
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 1 : 0;
}

int StagingFolderPath(const char* directory, int index, int batchOnly, char* path, int size) {
  size_t length = strlen(directory);
  const char* separator = length == 0 || IsSeparator(directory[length - 1]) ? "" : "\\";
  // Inside the folder a forward slash, which Windows reads as a separator
  // too: the C runtime's own file functions then take the relative path on
  // every platform the program is built for.
  int n = batchOnly ? snprintf(path, static_cast<size_t>(size), "%s%s%s/%d", directory, separator,
                               kStagingFolderName, index / kStagingBatch)
                    : snprintf(path, static_cast<size_t>(size), "%s%s%s", directory, separator,
                               kStagingFolderName);
  return n >= 0 && n < size ? 1 : 0;
}

int StagingPath(const char* directory, int index, const char* name, const char* suffix, char* path,
                int size) {
  if (!StagingFolderPath(directory, index, 1, path, size)) return 0;
  size_t used = strlen(path);
  int n = snprintf(path + used, static_cast<size_t>(size) - used, "/%s%s", name, suffix);
  return n >= 0 && static_cast<size_t>(n) < static_cast<size_t>(size) - used ? 1 : 0;
}

int RemoveStagedCopies(const char* directory, int index, const char* name) {
  bool staged = RemoveFile(directory, index, name, kStagedSuffix);
  bool aside = RemoveFile(directory, index, name, kAsideSuffix);
  return staged && aside ? 1 : 0;
}

int RemoveStagingFolder(const char* directory, int fileCount) {
  static char path[kStagingPathSize];
  for (int index = 0; index < fileCount; index += kStagingBatch) {
    if (StagingFolderPath(directory, index, 1, path, kStagingPathSize)) RemoveFolder(path);
  }
  if (!StagingFolderPath(directory, 0, 0, path, kStagingPathSize)) return 0;
  return RemoveFolder(path) ? 1 : 0;
}
