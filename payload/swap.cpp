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

bool MakePaths(int index, const char* name) {
  return StagingPath("", index, name, kStagedSuffix, stagedPath, kStagedPathSize) &&
         StagingPath("", index, name, kAsideSuffix, asidePath, kStagedPathSize);
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

// Whether a real directory is at `path`, made now if nothing was there.
bool HaveFolder(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return _mkdir(path) == 0;
  // A link could lead the files anywhere: only a real directory will do.
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Undoes the swap of the files before `count`, the last one first: the new
// file goes back into the staging folder and the aside copy, if this run
// made one, back to its name.
void UndoSwap(const Payload* payload, int count) {
  for (int i = count - 1; i >= 0; --i) {
    const char* name = payload->files[i].name;
    if (!MakePaths(i, name)) continue;
    Move(name, stagedPath);
    if (KindOf(asidePath) == kFile) Move(asidePath, name);
  }
}

// How the swap of one file went.
enum SwapResult { kSwapFailed, kSwappedIn, kSwappedWithAside };

// Swaps file `index` in; when it fails, nothing of this file has changed.
// The new file is moved in first: that it takes the name shows that none
// was installed, with one look at the name instead of two.
SwapResult SwapIn(int index, const char* name) {
  if (!MakePaths(index, name)) return kSwapFailed;
  if (Move(stagedPath, name)) return kSwappedIn;
  // A directory, or a name that cannot be looked at, is not replaced.
  if (KindOf(name) != kFile || !Move(name, asidePath)) return kSwapFailed;
  if (Move(stagedPath, name)) return kSwappedWithAside;
  Move(asidePath, name);
  return kSwapFailed;
}

}  // namespace

int PrepareStagingFolder(const Payload* payload) {
  char folder[kStagedPathSize];
  if (!StagingFolderPath("", 0, 0, folder, kStagedPathSize)) return 0;
  bool leftovers = GetFileAttributesA(folder) != INVALID_FILE_ATTRIBUTES;
  if (!HaveFolder(folder)) return 0;
  for (int i = 0; i < payload->fileCount; ++i) {
    const char* name = payload->files[i].name;
    if (i % kStagingBatch == 0 &&
        (!StagingFolderPath("", i, 1, folder, kStagedPathSize) || !HaveFolder(folder))) {
      return 0;
    }
    if (!leftovers) continue;
    // A run killed between renaming an installed file aside and moving the
    // new one in left the installed file only as the aside copy.
    if (MakePaths(i, name) && KindOf(asidePath) == kFile && KindOf(name) == kNothing) {
      Move(asidePath, name);
    }
    // A copy that stays makes its own step fail later, with the message.
    RemoveStagedCopies("", i, name);
  }
  return 1;
}

int SwapInStagedFiles(const Payload* payload) {
  int asides = 0;
  for (int i = 0; i < payload->fileCount; ++i) {
    SwapResult result = SwapIn(i, payload->files[i].name);
    if (result == kSwapFailed) {
      UndoSwap(payload, i);
      return -1;
    }
    if (result == kSwappedWithAside) ++asides;
  }
  return asides;
}

void DiscardAsideCopies(const Payload* payload, int asides) {
  bool heldCopy = false;
  // A first installation renamed nothing aside: nothing to look for.
  for (int i = 0; asides > 0 && i < payload->fileCount; ++i) {
    if (!MakePaths(i, payload->files[i].name) || DeleteFileA(asidePath)) continue;
    // Windows does not delete a running program's file; it goes at restart,
    // and its folders after it, in the order the deletions were asked for.
    if (KindOf(asidePath) != kNothing) {
      MoveFileExA(asidePath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      if (StagingFolderPath("", i, 1, stagedPath, kStagedPathSize)) {
        MoveFileExA(stagedPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      }
      heldCopy = true;
    }
  }
  if (!RemoveStagingFolder("", payload->fileCount) && heldCopy &&
      StagingFolderPath("", 0, 0, stagedPath, kStagedPathSize)) {
    MoveFileExA(stagedPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
}
