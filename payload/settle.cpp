// Finishing what a run left in the staging folder: rolled back when it did
// not commit (what it created gone, what it changed given its previous
// bytes back, what it renamed aside back at its name), and rolled forward
// when it did (the previous files renamed aside gone). What is there is
// found in the folder itself, its journal and its listing, never in a
// payload table, so another version's run is finished as well as this
// one's.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "payload/staging.h"

namespace {

// Listings repeated when a pass changed the folder: a folder listed while
// it changes may not show every entry.
const int kListingPasses = 3;
// A journal line: a tag, a blank, a name of at most 255 characters, a size.
const int kLineSize = 32 + 256;
const DWORD kReadSize = 4096;

// What a run's journal says.
struct Journal {
  bool known;      // it is there and of this layout
  bool committed;  // the run recorded "commit"
  DWORD end;       // where its last whole record ends
};

// How the settling went so far.
struct Progress {
  bool notRestored;  // a previous file could not be put back
  bool pending;      // a copy of a committed run stays (until the next restart)
};

// Whether the installation is being removed: a copy that cannot be put
// back is then deleted too.
bool removing = false;
char folderPath[kStagingPathSize];
char journalPath[kStagingPathSize];
char targetPath[kStagingPathSize];
char discardedPath[kStagingPathSize];
char namePart[kStagingPathSize];
char line[kLineSize];
char created[kLineSize];
unsigned char chunk[kReadSize];

bool Join(const char* directory, const char* name, char* path) {
  return JoinPath(directory, name, path, kStagingPathSize) != 0;
}

bool EndsWith(const char* text, const char* suffix) {
  size_t length = strlen(text), n = strlen(suffix);
  return length > n && strcmp(text + length - n, suffix) == 0;
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

// The path in `directory` of a name the journal gives, into targetPath; a
// name that is no bare file name was not written by a setup.
bool TargetOf(const char* directory, const char* name) {
  return IsPlainFileName(name) && Join(directory, name, targetPath);
}

// Deletes a name the unfinished run created: false when it stays.
bool DeleteCreated(const char* directory, const char* name) {
  if (!TargetOf(directory, name)) return true;
  return DeleteFileA(targetPath) || PathIsGone(targetPath);
}

// Opens the file at targetPath whose previous bytes follow, to write them
// back, making it when it is gone. A link at its name is removed as itself
// first.
HANDLE OpenToRestore() {
  DWORD attributes = GetFileAttributesA(targetPath);
  if (attributes != INVALID_FILE_ATTRIBUTES && IsLink(attributes)) {
    RemoveAsItself(targetPath, attributes);
  }
  return CreateFileA(targetPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                     FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Reads the journal record by record. Without `directory` it only learns
// what the journal says; with it, it rolls the run back as far as the
// journal's whole records go (`journal` from the first reading): every
// name created (but one recorded as not created right after) goes, and
// every changed file gets its previous bytes back. False when something
// could not be undone.
bool ReadJournal(const char* directory, Journal* journal) {
  bool acting = directory != nullptr;
  if (!acting) *journal = Journal{false, false, 0};
  HANDLE in = CreateFileA(journalPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (in == INVALID_HANDLE_VALUE) return true;
  bool undone = true, header = true, stop = false;
  size_t used = 0;
  DWORD offset = 0, dataLeft = 0;
  HANDLE target = INVALID_HANDLE_VALUE;
  created[0] = '\0';
  for (DWORD got = 0; !stop && ReadFile(in, chunk, kReadSize, &got, nullptr) && got > 0;) {
    for (DWORD i = 0; i < got && !stop;) {
      if (dataLeft > 0) {
        // A changed file's previous bytes, on their way back.
        DWORD n = got - i < dataLeft ? got - i : dataLeft;
        if (target != INVALID_HANDLE_VALUE && !WriteWhole(target, chunk + i, n)) undone = false;
        i += n;
        offset += n;
        dataLeft -= n;
      } else {
        char c = static_cast<char>(chunk[i++]);
        ++offset;
        if (c != '\n') {
          // A line longer than any record is not one; it is cut.
          if (used + 1 < kLineSize) line[used++] = c;
          continue;
        }
        line[used] = '\0';
        used = 0;
        if (header) {
          header = false;
          stop = strcmp(line, kJournalHeader) != 0;
          if (!acting) journal->known = !stop;
          if (stop) break;
        }
        bool cancels = line[0] == 'x' && line[1] == ' ' && strcmp(line + 2, created) == 0;
        if (acting && created[0] != '\0' && !cancels) {
          undone = DeleteCreated(directory, created) && undone;
        }
        created[0] = '\0';
        if (strcmp(line, "commit") == 0 && !acting) journal->committed = true;
        if (line[0] == 'c' && line[1] == ' ') snprintf(created, sizeof created, "%s", line + 2);
        if (line[0] == 'b' && line[1] == ' ') {
          char* size = strrchr(line + 2, ' ');
          dataLeft = size != nullptr ? strtoul(size + 1, nullptr, 10) : 0;
          if (size != nullptr) *size = '\0';
          // A record that the kill cut short: the run never changed its file.
          stop = acting && offset + dataLeft > journal->end;
          if (acting && !stop && TargetOf(directory, line + 2)) {
            target = OpenToRestore();
            if (target == INVALID_HANDLE_VALUE) undone = false;
          }
        }
      }
      if (dataLeft == 0 && target != INVALID_HANDLE_VALUE) {
        if (!SetEndOfFile(target)) undone = false;
        CloseHandle(target);
        target = INVALID_HANDLE_VALUE;
      }
      if (!acting && dataLeft == 0 && used == 0 && !header) journal->end = offset;
    }
    if (acting && offset >= journal->end) stop = true;
  }
  if (target != INVALID_HANDLE_VALUE) CloseHandle(target);
  if (acting && created[0] != '\0') undone = DeleteCreated(directory, created) && undone;
  CloseHandle(in);
  return undone;
}

// Finishes one copy of the subfolder `folder`: `name` is the installed
// file's name, `path` the copy. True when the copy is gone.
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
  if (!TargetOf(directory, name)) return false;
  if (MoveFileExA(path, targetPath, MOVEFILE_REPLACE_EXISTING)) return true;
  if (removing && (DeleteFileA(path) || PathIsGone(path))) return true;
  progress->notRestored = true;
  return false;
}

// Settles the entries of the held folder `folder`: a subfolder of copies
// when `batch`, else the staging folder itself, whose subfolders it settles
// in turn.
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
      // Rebuilt for each entry: the buffers are shared with the subfolders
      // settled inside this loop.
      char path[kStagingPathSize];
      if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0 || !Join(folder, name, path)) continue;
      if (IsLink(attributes)) {
        // Never followed: removed as itself.
        changed = RemoveAsItself(path, attributes) || changed;
      } else if (!batch) {
        if (!IsFolder(attributes) || !IsBatchName(name)) continue;
        HANDLE held = HoldRealDirectory(path, FALSE);
        if (held == INVALID_HANDLE_VALUE) continue;
        Progress inner = {progress->notRestored, false};
        SettleEntries(directory, path, true, committed, &inner);
        CloseHandle(held);
        progress->notRestored = inner.notRestored;
        if (RemoveDirectoryA(path)) {
          changed = true;
        } else if (inner.pending) {
          MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
          progress->pending = true;
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
  if (IsLink(attributes)) {
    return RemoveAsItself(folderPath, attributes) ? kStagingSettled : kStagingUnusable;
  }
  if (!IsFolder(attributes)) return kStagingUnusable;
  HANDLE held = HoldRealDirectory(folderPath, FALSE);
  if (held == INVALID_HANDLE_VALUE) return kStagingUnusable;

  // A journal that is a link is removed as one, and nothing reads through
  // it; an empty folder in the journal's place goes too.
  DWORD journalAttributes = GetFileAttributesA(journalPath);
  if (journalAttributes != INVALID_FILE_ATTRIBUTES &&
      (journalAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    RemoveAsItself(journalPath, journalAttributes);
  }
  Journal journal;
  ReadJournal(nullptr, &journal);
  bool undone = !journal.known || journal.committed || ReadJournal(directory, &journal);
  // A previous file whose bytes could not be written back counts as not put
  // back, unless the installation is being removed anyway.
  Progress progress = {!undone && !removing, false};
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
