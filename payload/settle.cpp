// Finishing what a run left in the staging folder: rolled back when it did
// not commit (its copies of installed files back, what it created gone), and
// rolled forward when it did (the copies of the previous files gone). What
// is there is found by listing the held folders, not from a payload table,
// so another version's run is finished as well as this one's.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

#include "payload/staging.h"

namespace {

// Listings repeated when a pass changed the folder: a folder listed while
// it changes may not show every entry.
const int kListingPasses = 3;
// A journal line: a tag, a blank and a name of at most 255 characters.
const int kLineSize = 16 + 256;
const int kReadSize = 4096;

// What a settled run had reached, from its journal.
struct Journal {
  bool known;      // the journal is there and of this layout
  bool committed;  // the run recorded "commit"
};

// How the settling of one folder went.
struct Progress {
  bool changed;      // an entry was moved or removed
  bool notRestored;  // a copy of an installed file could not be put back
  bool pending;      // a copy of a committed run stays (until the next restart)
};

// Whether the installation is being removed: a previous file's copy that
// cannot be put back is then deleted too.
bool removing = false;
char folderPath[kStagingPathSize];
char journalPath[kStagingPathSize];
char targetPath[kStagingPathSize];
char discardedPath[kStagingPathSize];
char namePart[kStagingPathSize];
char line[kLineSize];
char created[kLineSize];
char chunk[kReadSize];

bool Join(const char* directory, const char* name, char* path) {
  return JoinPath(directory, name, path, kStagingPathSize) != 0;
}

bool IdentityOf(const char* path, BY_HANDLE_FILE_INFORMATION* information) {
  HANDLE handle = CreateFileA(
      path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool known = GetFileInformationByHandle(handle, information) != 0;
  CloseHandle(handle);
  return known;
}

// Whether two names are links to one file, by the file system's identity.
bool NameTheSameFile(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION x, y;
  return IdentityOf(a, &x) && IdentityOf(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

bool EndsWith(const char* text, const char* suffix) {
  size_t length = strlen(text), n = strlen(suffix);
  return length > n && strcmp(text + length - n, suffix) == 0;
}

bool IsSelf(const char* name) {
  return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

bool IsLink(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !IsLink(attributes);
}

bool IsBatchName(const char* name) {
  size_t length = strlen(name);
  return length > 0 && length <= 8 && strspn(name, "0123456789") == length;
}

// Deletes a name the unfinished run created in `directory`: true when it is
// gone. A name that is no bare file name was not written by a setup.
bool DeleteCreated(const char* directory, const char* name) {
  if (!IsPlainFileName(name) || !Join(directory, name, targetPath)) return true;
  return DeleteFileA(targetPath) || PathIsGone(targetPath);
}

// Reads the journal line by line; with `directory`, deletes every name the
// run recorded as created, but one it recorded right after as not created.
// False when a created name stays.
bool ReadJournal(const char* directory, Journal* journal) {
  journal->known = journal->committed = false;
  int fd = _open(journalPath, _O_RDONLY | _O_BINARY);
  if (fd < 0) return true;
  bool removed = true, header = true;
  size_t used = 0;
  created[0] = '\0';
  for (int got; (got = _read(fd, chunk, kReadSize)) > 0;) {
    for (int i = 0; i < got; ++i) {
      if (chunk[i] != '\n') {
        // A line longer than any record is not one; it is cut and ignored.
        if (used + 1 < kLineSize) line[used++] = chunk[i];
        continue;
      }
      line[used] = '\0';
      used = 0;
      if (header) {
        header = false;
        journal->known = strcmp(line, kJournalHeader) == 0;
      }
      if (!journal->known) break;
      if (strcmp(line, "commit") == 0) journal->committed = true;
      bool cancels = line[0] == 'x' && line[1] == ' ' && strcmp(line + 2, created) == 0;
      if (directory != nullptr && created[0] != '\0' && !cancels) {
        removed = DeleteCreated(directory, created) && removed;
      }
      created[0] = '\0';
      if (line[0] == 'c' && line[1] == ' ') snprintf(created, sizeof created, "%s", line + 2);
    }
    if (!journal->known && !header) break;
  }
  if (directory != nullptr && journal->known && created[0] != '\0') {
    removed = DeleteCreated(directory, created) && removed;
  }
  _close(fd);
  return removed;
}

// Finishes one copy: `name` is the installed file's name, `path` the copy.
// True when the copy is gone.
bool SettleCopy(const char* directory, const char* folder, const char* path, const char* name,
                bool aside, bool committed, Progress* progress) {
  if (!aside || committed) {
    // A new copy, or a previous file no longer needed.
    if (DeleteFileA(path) || PathIsGone(path)) return true;
    if (!aside) return false;
    // A running program's file cannot be deleted on Windows, but it can be
    // renamed: named as discarded, it is never put back, and it goes at the
    // next restart. Where it cannot be renamed either, the journal stays and
    // says to roll forward.
    int length =
        snprintf(discardedPath, sizeof discardedPath, "%s\\%s%s", folder, name, kDiscardedSuffix);
    if (length > 0 && length < kStagingPathSize && MoveFileExA(path, discardedPath, 0)) {
      MoveFileExA(discardedPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      return true;
    }
    MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    progress->pending = true;
    return false;
  }
  // The previous file goes back to its name, replacing whatever is there.
  if (!IsPlainFileName(name) || !Join(directory, name, targetPath)) return false;
  // A second link to a file that still has its name: the previous file is
  // in place, and only the copy's name goes (not while a program holds the
  // file; the next run takes it away then).
  if (NameTheSameFile(path, targetPath)) return DeleteFileA(path) || PathIsGone(path);
  if (MoveFileExA(path, targetPath, MOVEFILE_REPLACE_EXISTING)) return true;
  if (removing && (DeleteFileA(path) || PathIsGone(path))) return true;
  progress->notRestored = true;
  return false;
}

// Settles the entries of the held folder `folder`: a subfolder of copies
// when `batch`, else the staging folder itself, whose subfolders it settles
// in turn.
void SettleEntries(const char* directory, const char* folder, bool batch, bool committed,
                   Progress* progress);

void SettleBatch(const char* directory, const char* path, bool committed, Progress* progress) {
  HANDLE held = HoldRealDirectory(path, FALSE);
  if (held == INVALID_HANDLE_VALUE) return;
  SettleEntries(directory, path, true, committed, progress);
  CloseHandle(held);
  if (RemoveDirectoryA(path)) {
    progress->changed = true;
  } else if (progress->pending) {
    MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
}

void SettleEntries(const char* directory, const char* folder, bool batch, bool committed,
                   Progress* progress) {
  static char listing[kStagingPathSize];
  WIN32_FIND_DATAA found;
  for (int pass = 0; pass < kListingPasses; ++pass) {
    if (!Join(folder, "*", listing)) return;
    HANDLE find = FindFirstFileA(listing, &found);
    if (find == INVALID_HANDLE_VALUE) return;
    bool changed = false;
    do {
      const char* name = found.cFileName;
      DWORD attributes = found.dwFileAttributes;
      // The copy's path is rebuilt for each entry: the buffers are shared
      // with the subfolders settled inside this loop.
      char path[kStagingPathSize];
      if (IsSelf(name) || !Join(folder, name, path)) continue;
      if (IsLink(attributes)) {
        // Never followed: removed as itself.
        changed = RemoveAsItself(path, attributes) || changed;
      } else if (!batch) {
        if (IsFolder(attributes) && IsBatchName(name)) {
          Progress inner = {false, false, false};
          SettleBatch(directory, path, committed, &inner);
          changed = changed || inner.changed;
          progress->notRestored = progress->notRestored || inner.notRestored;
          progress->pending = progress->pending || inner.pending;
        }
      } else if (IsFolder(attributes)) {
        // In the way of a copy's name: removed when empty, else stepped
        // around (later runs take another subfolder).
        changed = RemoveDirectoryA(path) || changed;
      } else if (EndsWith(name, kDiscardedSuffix)) {
        // Held by a running program when it was discarded; it may be free now.
        changed = DeleteFileA(path) || changed;
      } else if (EndsWith(name, kAsideSuffix) || EndsWith(name, kStagedSuffix)) {
        size_t length = strlen(name) - kCopySuffixLength;
        snprintf(namePart, sizeof namePart, "%.*s", static_cast<int>(length), name);
        changed = SettleCopy(directory, folder, path, namePart, EndsWith(name, kAsideSuffix),
                             committed, progress) ||
                  changed;
      }
    } while (FindNextFileA(find, &found));
    FindClose(find);
    progress->changed = progress->changed || changed;
    if (!changed) return;
  }
}

}  // namespace

StagingOutcome SettleStagingFolder(const char* directory, SettleMode mode) {
  removing = mode == kSettleToRemove;
  if (!Join(directory, kStagingFolderName, folderPath) ||
      !Join(folderPath, kJournalName, journalPath)) {
    return kStagingUnusable;
  }
  DWORD attributes = GetFileAttributesA(folderPath);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return PathIsGone(folderPath) ? kStagingSettled : kStagingUnusable;
  }
  // A link of the folder's name leads elsewhere: nothing through it is
  // touched, the link itself goes. A file of that name is not the setup's.
  if (IsLink(attributes))
    return RemoveAsItself(folderPath, attributes) ? kStagingSettled : kStagingUnusable;
  if (!IsFolder(attributes)) return kStagingUnusable;
  HANDLE held = HoldRealDirectory(folderPath, FALSE);
  if (held == INVALID_HANDLE_VALUE) return kStagingUnusable;

  // A journal that is a link is removed as one before anything reads it.
  DWORD journalAttributes = GetFileAttributesA(journalPath);
  if (journalAttributes != INVALID_FILE_ATTRIBUTES && IsLink(journalAttributes)) {
    RemoveAsItself(journalPath, journalAttributes);
  }
  Journal journal;
  ReadJournal(nullptr, &journal);
  // What the run created goes first, so that a copy put back is never
  // taken for it.
  bool createdGone = journal.committed || ReadJournal(directory, &journal);
  Progress progress = {false, !createdGone, false};
  SettleEntries(directory, folderPath, false, journal.committed, &progress);

  bool finished = !progress.notRestored;
  if (finished && progress.pending) {
    // The journal stays until the copies go, so that a run before the
    // restart still rolls forward; the deletions happen in this order.
    MoveFileExA(journalPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  } else if (finished) {
    DeleteFileA(journalPath);
  }
  CloseHandle(held);
  if (finished && !RemoveDirectoryA(folderPath) && progress.pending) {
    MoveFileExA(folderPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
  return finished ? kStagingSettled : kStagingNotRestored;
}
