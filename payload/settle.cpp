// Finishing what a run left in a staging folder, by its journal alone
// (payload/staging.h): rolled back when it did not commit, rolled forward
// when it did. Nothing is read from a payload table, so another version's
// run of this layout is finished as well as this one's.
#include <stdio.h>
#include <string.h>

#include "payload/staging.h"

namespace {

// What a walk through the records does with each.
enum Pass {
  kCheckRecords = 1,  // finds how far the records are whole, and whether 'C' is among them
  kUndoChanges = 2,   // deletes what the run created, writes back what it changed
  kPutBack = 3,       // deletes an empty file a cut-short creation left, puts back what went aside
  kRollForward = 4    // cuts files changed in place, deletes what went aside
};

// What opening the object of a record found.
enum Found { kNotOurs = 0, kOurs = 1, kCannotOpen = 2 };

const DWORD kReadSize = 65536;
const DWORD kLongestData = 0x7FFFFFFF;
const DWORD kEveryShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The journal being settled, and what checking it found.
HANDLE journal;
JournalHeader header;
unsigned int runCheck;
unsigned long long journalSize;
unsigned long long offset;
unsigned long long recordsEnd;
// Where the last 'i' record starts: a 'c' record after it was never
// followed by the identity of what it created.
unsigned long long lastIdentity;
bool committed;
JournalKnown journalKnown;
bool removing;
bool deletedAtRestart;
const char* settleDirectory;
const char* settleFolder;

JournalRecord record;
char name[256];
char targetPath[kStagingPathSize];
char asidePath[kStagingPathSize];
unsigned char chunk[kReadSize];
FileFacts found;

bool ReadExactly(void* data, DWORD size) {
  DWORD got = 0;
  bool whole = ReadFile(journal, data, size, &got, nullptr) && got == size;
  offset += got;
  return whole;
}

void SeekTo(unsigned long long position) {
  LONG high = static_cast<LONG>(position >> 32);
  SetFilePointer(journal, static_cast<LONG>(position), &high, FILE_BEGIN);
  offset = position;
}

// A record as a run writes it: a known tag, a plain name but for 'C',
// previous bytes only in 'b', a length that a file changed in place has.
bool IsWellFormed() {
  if (record.tag == 'C' || record.tag == 'z') {
    return record.nameLength == 0 && (record.tag == 'z' || record.dataLength == 0);
  }
  return record.tag < 128 && strchr("cibna", static_cast<int>(record.tag)) != nullptr &&
         IsPlainFileName(name) && (record.dataLength == 0 || record.tag == 'b') &&
         record.value <= kLongestData && (record.tag != 'b' || record.dataLength <= record.value);
}

// Opens the object at `path` as itself for `access`: kOurs when it has the
// record's index and, `inPlace`, is a file of its own. Gone, or something
// else, is not the record's.
Found OpenRecorded(const char* path, DWORD access, DWORD share, bool inPlace, HANDLE* opened) {
  *opened = CreateFileA(path, access, share, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (*opened == INVALID_HANDLE_VALUE) {
    // Where a link cannot be opened for writing (the host), it is not a
    // file to write back into.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathIsGone(path) ? kNotOurs : kCannotOpen;
    bool special = (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0;
    return inPlace && special ? kNotOurs : kCannotOpen;
  }
  // A run never creates or moves a real directory.
  if (ReadFileFacts(*opened, &found) && found.index[0] == record.index[0] &&
      found.index[1] == record.index[1] && !IsRealDirectory(found.attributes) &&
      (!inPlace || IsPlainFile(found))) {
    return kOurs;
  }
  CloseHandle(*opened);
  *opened = INVALID_HANDLE_VALUE;
  return kNotOurs;
}

// Writes the record's previous bytes, which follow in the journal, back
// into its file, gives the file its previous length and flushes it. A file that
// another program holds (a running program's) is only read: it needs
// nothing when it holds those bytes already. The walk goes on after the
// bytes whatever happens.
bool RestoreBytes() {
  unsigned long long end = offset + record.dataLength;
  HANDLE target = INVALID_HANDLE_VALUE;
  Found which = OpenRecorded(targetPath, GENERIC_WRITE, 0, true, &target);
  bool compare = which == kCannotOpen;
  if (compare) which = OpenRecorded(targetPath, GENERIC_READ, kEveryShare, true, &target);
  bool restored = which == kNotOurs || (which == kOurs && (!compare || found.size == record.value));
  if (target != INVALID_HANDLE_VALUE) {
    for (DWORD left = record.dataLength, size, got; left > 0 && restored; left -= size) {
      size = left < kReadSize / 2 ? left : kReadSize / 2;
      restored = ReadExactly(chunk, size) &&
                 (compare ? ReadFile(target, chunk + size, size, &got, nullptr) && got == size &&
                                memcmp(chunk, chunk + size, size) == 0
                          : WriteWhole(target, chunk, size));
    }
    // The bytes after those written over were never changed: the file only
    // gets its previous length back.
    restored = restored && (compare || (SetFilePointer(target, static_cast<LONG>(record.value),
                                                       nullptr, FILE_BEGIN) == record.value &&
                                        SetEndOfFile(target) && FlushFileBuffers(target)));
    CloseHandle(target);
  }
  SeekTo(end);
  return restored;
}

// Deletes the object of the record at `path` as itself: true when it is
// gone or is not the record's.
bool DeleteRecorded(const char* path) {
  HANDLE opened;
  Found which = OpenRecorded(path, FILE_READ_ATTRIBUTES, kEveryShare, false, &opened);
  if (which != kOurs) return which == kNotOurs;
  CloseHandle(opened);
  if (RemoveAsItself(path, found.attributes)) return true;
  // A running program's file cannot be deleted on Windows; once the run is
  // rolled forward nothing puts it back, and it goes at the next restart.
  if (!committed || !MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return false;
  deletedAtRestart = true;
  return true;
}

// Does what `pass` does with the record that starts at `start`.
bool Act(Pass pass, unsigned long long start) {
  if (record.nameLength == 0 || !JoinPath(settleDirectory, name, targetPath, kStagingPathSize) ||
      snprintf(asidePath, sizeof asidePath, "%s\\%u.old", settleFolder, record.value) >=
          kStagingPathSize) {
    return true;
  }
  HANDLE opened;
  Found which;
  switch (pass * 256 + static_cast<int>(record.tag)) {
    case kUndoChanges * 256 + 'i':
      return DeleteRecorded(targetPath) || removing;
    case kPutBack * 256 + 'c': {
      // A creation whose identity never reached the disk left at most an
      // empty file, which is deleted; anything else there is not the run's.
      if (start < lastIdentity) return true;
      opened = CreateFileA(targetPath, FILE_READ_ATTRIBUTES, kEveryShare, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (opened == INVALID_HANDLE_VALUE) return true;
      bool empty = ReadFileFacts(opened, &found) && IsPlainFile(found) && found.size == 0;
      CloseHandle(opened);
      return !empty || DeleteFileA(targetPath) || PathIsGone(targetPath);
    }
    case kPutBack * 256 + 'a':
      // Back to its name, never over something else there; the uninstaller
      // deletes the object instead.
      which = OpenRecorded(asidePath, FILE_READ_ATTRIBUTES, kEveryShare, false, &opened);
      if (which != kOurs) return which == kNotOurs;
      CloseHandle(opened);
      return MoveFileExA(asidePath, targetPath, 0) ||
             (removing && RemoveAsItself(asidePath, found.attributes));
    case kRollForward * 256 + 'n': {
      if (journalKnown == kJournalOwnCut) return true;
      which = OpenRecorded(targetPath, GENERIC_WRITE, 0, true, &opened);
      if (which != kOurs) return which == kNotOurs;
      bool cut = found.size <= record.value ||
                 (SetFilePointer(opened, static_cast<LONG>(record.value), nullptr, FILE_BEGIN) ==
                      record.value &&
                  SetEndOfFile(opened));
      CloseHandle(opened);
      return cut;
    }
    case kRollForward * 256 + 'a':
      return DeleteRecorded(asidePath);
    default:
      return true;
  }
}

// Walks the records from the first: checking, as far as they are whole;
// otherwise up to where checking stopped, doing what `pass` does with each.
// False when something could not be done.
bool Walk(Pass pass) {
  bool done = true;
  SeekTo(sizeof header);
  while (pass == kCheckRecords || offset < recordsEnd) {
    unsigned long long start = offset;
    // Sizes are checked against what the journal holds after the record,
    // in 64 bits, before anything is read or skipped.
    if (!ReadExactly(&record, sizeof record) || record.nameLength > 255 ||
        record.dataLength > kLongestData ||
        record.nameLength + static_cast<unsigned long long>(record.dataLength) + 4 >
            journalSize - offset ||
        !ReadExactly(name, record.nameLength)) {
      break;
    }
    name[record.nameLength] = '\0';
    unsigned int sum =
        AddToCheck(AddToCheck(runCheck, &record, sizeof record), name, record.nameLength);
    if (pass == kUndoChanges && record.tag == 'b' &&
        JoinPath(settleDirectory, name, targetPath, kStagingPathSize)) {
      done = (RestoreBytes() || removing) && done;
    } else if (pass == kCheckRecords && journalKnown == kJournalUnknown) {
      for (DWORD left = record.dataLength, size; left > 0; left -= size) {
        size = left < kReadSize ? left : kReadSize;
        if (!ReadExactly(chunk, size)) return true;
        sum = AddToCheck(sum, chunk, size);
      }
    } else {
      SeekTo(offset + record.dataLength);
    }
    unsigned int check;
    if (!ReadExactly(&check, sizeof check)) break;
    if (pass != kCheckRecords) {
      done = Act(pass, start) && done;
    } else if ((check == sum || (journalKnown != kJournalUnknown && record.dataLength > 0)) &&
               IsWellFormed()) {
      // The journal this process wrote is trusted for its previous bytes.
      recordsEnd = offset;
      if (record.tag == 'i') lastIdentity = start;
      committed = committed || record.tag == 'C';
    } else {
      break;
    }
  }
  return done;
}

}  // namespace

StagingOutcome SettleJournal(const char* directory, const char* folder, HANDLE held, HANDLE opened,
                             SettleMode mode, JournalKnown known, bool* rolledForward) {
  journal = opened;
  settleDirectory = directory;
  settleFolder = folder;
  removing = mode == kSettleToRemove;
  journalKnown = known;
  committed = deletedAtRestart = false;
  recordsEnd = sizeof header;
  lastIdentity = 0;
  static const JournalHeader kZeros = {};
  BY_HANDLE_FILE_INFORMATION place;
  FileFacts facts;
  StagingOutcome outcome = kStagingSettled;
  DWORD got = 0;
  SeekTo(0);
  if (!ReadFileFacts(journal, &facts) || !GetFileInformationByHandle(held, &place) ||
      !ReadFile(journal, &header, sizeof header, &got, nullptr)) {
    outcome = kStagingBusy;
  } else if (!IsPlainFile(facts)) {
    // Not the setup's: stepped around, neither read nor deleted.
    outcome = kStagingForeign;
  } else if (got == sizeof header &&
             memcmp(header.magic, kJournalMagic, sizeof header.magic) == 0 &&
             header.version == kJournalVersion) {
    // A header that does not check was never on the disk whole, and nothing
    // was changed under it. Indexes mean nothing on another volume.
    if (header.check == AddToCheck(1, &header, sizeof header - sizeof header.check)) {
      outcome = header.volume == place.dwVolumeSerialNumber ? kStagingSettled : kStagingForeign;
      journalSize = facts.size;
      runCheck = AddToCheck(1, header.run, sizeof header.run);
      Walk(kCheckRecords);
    }
  } else if (got == sizeof header && memcmp(&header, &kZeros, sizeof header) != 0) {
    outcome = kStagingForeign;
  }
  if (outcome == kStagingSettled && recordsEnd > sizeof header) {
    bool done = committed || Walk(kUndoChanges);
    if (!(committed ? Walk(kRollForward) : Walk(kPutBack)) || !done) {
      outcome = kStagingNotRestored;
    }
  }
  if (rolledForward != nullptr) *rolledForward = committed;
  CloseHandle(journal);
  // A journal that stayed after its run was finished would be replayed
  // over a later installation: the folder is settled only once it is gone.
  char* journalPath = targetPath;
  if (outcome == kStagingSettled &&
      !(JoinPath(folder, kJournalName, journalPath, kStagingPathSize) &&
        (DeleteFileA(journalPath) || PathIsGone(journalPath)))) {
    outcome = kStagingNotRestored;
  }
  CloseHandle(held);
  if (outcome == kStagingSettled && !RemoveDirectoryA(folder) && deletedAtRestart) {
    MoveFileExA(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
  // What is not the setup's journal is stepped around by the runs.
  return outcome == kStagingForeign && !IsPlainFile(facts) ? kStagingSettled : outcome;
}

StagingOutcome SettleStagingFolder(const char* directory, SettleMode mode) {
  static char folder[kStagingPathSize];
  static char journalPath[kStagingPathSize];
  for (const char* name : kStagingFolderNames) {
    if (!JoinPath(directory, name, folder, kStagingPathSize) ||
        !JoinPath(folder, kJournalName, journalPath, kStagingPathSize)) {
      return kStagingBusy;
    }
    // What is not a real directory is not the setup's: a link is never
    // followed, a file never deleted; the runs step around them.
    if (PathIsGone(folder)) continue;
    HANDLE held = HoldRealDirectory(folder, FALSE);
    DWORD attributes = GetFileAttributesA(folder);
    if (held == INVALID_HANDLE_VALUE) {
      if (attributes != INVALID_FILE_ATTRIBUTES && !IsRealDirectory(attributes)) continue;
      return kStagingBusy;
    }
    // Opened without sharing, so that no other program reads or changes it
    // meanwhile; one that cannot be opened so is never taken as absent.
    HANDLE opened = CreateFileA(journalPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
      attributes = GetFileAttributesA(journalPath);
      CloseHandle(held);
      // A folder that only a run's leftovers emptied goes with them.
      if (PathIsGone(journalPath)) {
        RemoveDirectoryA(folder);
        continue;
      }
      if (attributes != INVALID_FILE_ATTRIBUTES &&
          (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        continue;
      }
      return kStagingBusy;
    }
    StagingOutcome outcome =
        SettleJournal(directory, folder, held, opened, mode, kJournalUnknown, nullptr);
    if (outcome != kStagingSettled) return outcome;
  }
  return kStagingSettled;
}
