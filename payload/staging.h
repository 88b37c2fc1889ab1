// The setup's staging folder and its journal: what lets a run be undone
// after a failure, a kill or a power cut, and lets the next run or the
// uninstaller finish what a run left. A database's rollback journal is the
// model: what undoes a change is on the disk before the change is made.
//
// Layout, in the data directory:
//   ~setup.tmp\             the staging folder. Where that name is taken by
//                           what is not a real directory, or the journal's
//                           name inside it by anything, the run steps around
//                           it to ~setup1.tmp, then ~setup2.tmp, ~setup3.tmp.
//   <folder>\journal        the run's journal (below)
//   <folder>\<k>.old        an installed object renamed aside as itself (a
//                           link or other reparse point, a file with other
//                           names, a running program's file); k is decimal
//
// The journal, little-endian throughout: a JournalHeader, then records,
// each a JournalRecord, its name, its data, and the Adler-32 of the run
// value, the JournalRecord, the name and the data.
//   'c' name               the run is about to create name, where nothing is
//   'i' name index         the run created name; the new file's index
//   'b' name index length data
//                          name, about to change in place, was length bytes
//                          long and began with data: the bytes of every
//                          sector the run may write into (a file's bytes
//                          past its new length are never written before the
//                          commit)
//   'a' name index k       the object at name is about to go to <k>.old
//   'n' name index length  name, changed in place, ends at length once the
//                          run commits; until then it keeps its previous
//                          length, so that putting it back needs no room
//   'C'                    every file is in place and on the disk
//   'z' data               nothing: zeros that end a batch at the end of a
//                          kJournalSector, so that the next batch is never
//                          written into a sector that holds records already
//                          on the disk, which a power cut could spoil
//
// The order that makes it hold through a power cut, which keeps the file
// system's metadata in order but may return unflushed bytes old, new or
// zero: a batch of files' records is flushed before any of their renames,
// creations and writes; a created file is written only once its 'i' record
// is flushed, so a 'c' without an 'i' leaves at most an empty file; every
// written file is flushed before 'C', and 'C' before anything is truncated
// or deleted for it; restored bytes are flushed before the journal goes.
//
// Settling reads only whole records whose check matches the header's run
// value and stops at the first that does not. A run without 'C' is rolled
// back: what it created goes, what it changed gets its previous bytes back,
// what it moved aside goes back to its name. A run with 'C' is rolled
// forward: files are cut to their new length, the objects moved aside go.
// Only an object whose index is the one recorded is touched, and bytes are
// written back only into a file with one name and no reparse point; what is
// not the setup's is stepped around. A journal of another layout or version
// is never replayed.
#ifndef TIDEWELL_PAYLOAD_STAGING_H
#define TIDEWELL_PAYLOAD_STAGING_H

#include <windows.h>

#include "payload/path_rules.h"
#include "payload/payload.h"

// The staging folder's names, in the order they are tried.
const int kStagingFolderCount = 4;
extern const char* const kStagingFolderNames[kStagingFolderCount];
extern const char kJournalName[];
// The first 16 bytes of a journal of this layout (without the terminator).
extern const char kJournalMagic[];
const unsigned int kJournalVersion = 2;
// The largest sector of today's disks: what a power cut may spoil at once.
const DWORD kJournalSector = 4096;
// How much longer than the data directory a path in the staging folder is
// at most: a separator, the longest folder name, a separator and "<k>.old"
// with k of up to eight digits.
const int kStagingExtraLength = 25;
const unsigned int kMostAsideCopies = 100000000;
// Room for any path inside the staging folder or of an installed file: a
// directory of at most the data directory buffer's length, a name of at most
// 255 characters and the staging part.
const int kStagingPathSize = 1024 + 256 + kStagingExtraLength;

struct JournalHeader {
  char magic[16];        // kJournalMagic
  unsigned int version;  // kJournalVersion
  unsigned int run[2];   // the run's own value: its start time and process
  unsigned int volume;   // the data directory's volume serial number
  unsigned int check;    // Adler-32 of the fields above
};
struct JournalRecord {
  unsigned int tag;         // 'c', 'i', 'b', 'a', 'n', 'C' or 'z'
  unsigned int nameLength;  // the bytes of the name that follow, at most 255
  unsigned int index[2];    // the file index of what the record is about
  unsigned int value;       // 'a': k; 'b': the length before the run; 'n': the length after it
  unsigned int dataLength;  // 'b': the previous bytes that follow the name; 'z': the zeros
};
static_assert(sizeof(JournalHeader) == 36 && sizeof(JournalRecord) == 24,
              "the journal's layout has no padding");

// Opens `path` as a directory and holds it: no other program can rename,
// delete or replace it while the handle is open, so the names below it keep
// naming what is inside it. The handle, or INVALID_HANDLE_VALUE when `path`
// is not a real directory (a link, a junction, a file) or cannot be opened.
// `inheritable` lets a started program hold it too.
HANDLE HoldRealDirectory(const char* path, BOOL inheritable);
// Removes whatever `attributes` describe at `path` as itself: a link (of a
// file or of a directory) without touching what it leads to, an empty
// directory, or a file. 1 when it is gone.
int RemoveAsItself(const char* path, DWORD attributes);
// Writes `size` bytes whole: 1, or 0 when fewer were written.
int WriteWhole(HANDLE file, const void* data, DWORD size);
// What the system tells of an open file or directory.
struct FileFacts {
  unsigned int index[2];  // its number among the files of its volume
  unsigned long long size;
  DWORD links;       // how many names it has
  DWORD attributes;  // FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_REPARSE_POINT, ...
};
// Reads the facts of `file`: 1, or 0 when the system cannot say.
int ReadFileFacts(HANDLE file, FileFacts* facts);
// Whether `facts` are those of a file of its own: no directory, no reparse
// point (a link, a cloud placeholder, a deduplicated file), one name.
bool IsPlainFile(const FileFacts& facts);
// Whether `attributes` are those of a directory that is no link or junction.
bool IsRealDirectory(DWORD attributes);
// Adler-32 of `size` bytes added to `sum`.
unsigned int AddToCheck(unsigned int sum, const void* data, DWORD size);

// One setup or uninstaller at a time: the setup holds a named mutex of its
// own from its start, and each program looks for the other's.
enum LockResult {
  kLockTaken = 1,
  kLockHeldElsewhere = 2,  // a second copy of this program is at work
  kLockFailed = 3,         // the system could not make the lock
  kLockOtherAtWork = 4     // the other program is at work
};
// Takes the lock named by `ownFormat` (with appName) and keeps it until
// ReleaseLock or the end of the process, unless that lock or the one of
// `otherFormat` is held already: then neither is kept. `inheritable` lets a
// started program keep it too.
LockResult TakeLock(const char* ownFormat, const char* otherFormat, BOOL inheritable);
void ReleaseLock();
extern const char kSetupLockFormat[];
extern const char kUninstallLockFormat[];

// How finishing what an earlier run left went.
enum StagingOutcome {
  kStagingSettled = 1,      // nothing of the setup's is left but what is not its to touch
  kStagingNotRestored = 2,  // something could not be put back: the journal stays for the next run
  kStagingForeign = 3,      // a journal of another layout or version: left as it is
  kStagingBusy = 4          // a journal that cannot be opened, or a folder that cannot be held
};
// Whom the settling is for: the setup, which needs the previous files back,
// or the uninstaller, which removes them anyway and deletes what cannot be
// put back.
enum SettleMode { kSettleToRestore = 1, kSettleToRemove = 2 };
// Finishes what runs left in the staging folders of `directory`.
StagingOutcome SettleStagingFolder(const char* directory, SettleMode mode);
// How much of a journal to settle is known: nothing (it is read and
// checked whole), that this process wrote it and held it since (its
// previous bytes are then read only to be written back), or that too and
// that the run has cut its files to their new lengths itself.
enum JournalKnown { kJournalUnknown = 0, kJournalOwn = 1, kJournalOwnCut = 2 };
// Settles the staging folder `folder` of `directory`, held by `held`, by
// its journal, open in `journal` for reading and writing without sharing;
// closes both. Sets `committed`, when given, to whether the run was rolled
// forward.
StagingOutcome SettleJournal(const char* directory, const char* folder, HANDLE held, HANDLE journal,
                             SettleMode mode, JournalKnown known, bool* committed);

// A run's side, in this order: open the folder; for each batch of files the
// records that undo them, flushed, then the changes; then commit; then
// finish, which rolls the run forward or back. A journal that cannot be
// written is a full disk: kExtractShortWrite.
//
// Makes or reuses a staging folder of `directory` and starts a new journal
// in it: kExtractDone, or kExtractCannotCreate when none can be had.
ExtractResult OpenStagingFolder(const char* directory);
// Adds a record without data; it reaches the disk with the next flush.
ExtractResult AddRecord(unsigned int tag, const char* name, const unsigned int index[2],
                        unsigned int value);
// Adds the 'b' record of `name`, `length` bytes long: the first `size`
// bytes of `file` (open for reading, at its start).
ExtractResult AddPreviousBytes(const char* name, const unsigned int index[2], HANDLE file,
                               DWORD length, DWORD size);
// Writes what was added and flushes the journal.
ExtractResult FlushJournal();
// The path of a free place to move an installed object aside to, into
// `aside` of kStagingPathSize, and its number: 1, or 0 when there is none.
int NextAsidePath(char* aside, unsigned int* number);
// Rolls the run forward when its commit is in the journal, else back, and
// lets the folder go; `committed` says which. `cut` says that the run has
// cut the files it changed in place to their new lengths after its commit.
StagingOutcome FinishRun(const char* directory, bool cut, bool* committed);

#endif  // TIDEWELL_PAYLOAD_STAGING_H
