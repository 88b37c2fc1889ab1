// Swapping the staged files into place so that every step can be undone: an
// installed file is never written over or deleted before the whole payload
// is in place, only renamed aside. Renaming works for a running program's
// file too, so a copy that ignored the request to quit cannot leave a half
// installation behind.
#include <direct.h>

#include "payload/swap.h"

namespace {

char stagedPath[kStagedPathSize];
char asidePath[kStagedPathSize];

bool MakePaths(const char* name) {
  return StagingPath("", name, kStagedSuffix, stagedPath, kStagedPathSize) &&
         StagingPath("", name, kAsideSuffix, asidePath, kStagedPathSize);
}

// What is at `path`: nothing, a file (or a link, which is moved as itself),
// or something that is not the setup's to move.
enum PathKind { kNothing, kFile, kOther };

PathKind KindOf(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? kNothing : kOther;
  }
  bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                   (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  return directory ? kOther : kFile;
}

bool Move(const char* from, const char* to) {
  // Without MOVEFILE_REPLACE_EXISTING: nothing that is there is ever lost.
  return MoveFileExA(from, to, 0) != 0;
}

// Undoes the swap of the files before `count`, the last one first: the new
// file goes back into the staging folder and the aside copy, if this run
// made one, back to its name.
void UndoSwap(const Payload* payload, int count) {
  for (int i = count - 1; i >= 0; --i) {
    const char* name = payload->files[i].name;
    if (!MakePaths(name)) continue;
    Move(name, stagedPath);
    if (KindOf(asidePath) == kFile) Move(asidePath, name);
  }
}

// Swaps one file in: 1, or 0 with nothing of this file changed.
bool SwapIn(const char* name) {
  if (!MakePaths(name)) return false;
  PathKind installed = KindOf(name);
  // A directory, or a name that cannot be looked at, is not replaced.
  if (installed == kOther) return false;
  if (installed == kFile && !Move(name, asidePath)) return false;
  if (Move(stagedPath, name)) return true;
  if (installed == kFile) Move(asidePath, name);
  return false;
}

}  // namespace

int PrepareStagingFolder(const Payload* payload) {
  char folder[kStagedPathSize];
  if (!StagingFolderPath("", folder, kStagedPathSize)) return 0;
  DWORD attributes = GetFileAttributesA(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES) return _mkdir(folder) == 0 ? 1 : 0;
  // Only a real directory is the setup's to write into; a link could lead
  // the files anywhere.
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return 0;
  }
  for (int i = 0; i < payload->fileCount; ++i) {
    const char* name = payload->files[i].name;
    // A run killed between renaming an installed file aside and moving the
    // new one in left the installed file only as the aside copy.
    if (MakePaths(name) && KindOf(name) == kNothing && KindOf(asidePath) == kFile) {
      Move(asidePath, name);
    }
    // A copy that stays makes its own step fail later, with the message.
    RemoveStagedCopies("", name);
  }
  return 1;
}

int SwapInStagedFiles(const Payload* payload) {
  for (int i = 0; i < payload->fileCount; ++i) {
    if (!SwapIn(payload->files[i].name)) {
      UndoSwap(payload, i);
      return 0;
    }
  }
  return 1;
}

void DiscardAsideCopies(const Payload* payload) {
  bool heldCopy = false;
  for (int i = 0; i < payload->fileCount; ++i) {
    if (!MakePaths(payload->files[i].name) || KindOf(asidePath) == kNothing) continue;
    // Windows does not delete a running program's file; it goes at restart.
    if (!DeleteFileA(asidePath)) {
      MoveFileExA(asidePath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      heldCopy = true;
    }
  }
  // The folder then follows it, in the order the deletions were asked for.
  if (!RemoveStagingFolder("") && heldCopy && StagingFolderPath("", stagedPath, kStagedPathSize)) {
    MoveFileExA(stagedPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
}
