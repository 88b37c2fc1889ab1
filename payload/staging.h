// The setup's staging folder: what lets a run be undone, and what a killed
// run left be finished by the next run or the uninstaller.
//
// Layout, in the data directory:
//   ~setup.tmp\journal         what the run did, in order, a record a line:
//                              the first line is kJournalHeader; then
//                                c <name>         before the run creates
//                                                 <name>, where nothing had
//                                                 that name
//                                x <name>         right after it, when
//                                                 something had it after all
//                                                 (then it is not the run's)
//                                b <name> <size>  followed by the <size> bytes
//                                                 that the installed <name>
//                                                 held, written whole before
//                                                 the run changes <name>
//                                commit           once every file is in place
//   ~setup.tmp\<k>\<name>.old  an installed <name> renamed aside, where it
//                              could not be changed in place (a running
//                              program's file, a link, a file with other links)
//   ~setup.tmp\<k>\<name>.del  such a file no longer needed that a running
//                              program still holds: it goes at the next
//                              restart and is never put back
//   ~setup.tmp\<k>\<name>.new  a new copy, which only earlier versions wrote
// The subfolders <k> are decimal numbers; each takes at most kStagingBatch
// copies, which keeps every folder small where the system looks a name up
// by reading its folder (Wine does, for a name it does not find at once).
//
// A run that ends without "commit" is rolled back by the next run (or by the
// uninstaller): every name the journal says it created goes, every file it
// changed gets its previous bytes back, and every .old copy, found by
// listing the folder, goes back to its name, replacing what is there. A run
// that reached "commit" is rolled forward: its .old copies go. Nothing inside
// the folder is opened, moved or deleted before the folder and the
// subfolder are held open and known to be real directories; a link found
// inside is removed as itself, never followed.
#ifndef TIDEWELL_PAYLOAD_STAGING_H
#define TIDEWELL_PAYLOAD_STAGING_H

#include <windows.h>

#include "payload/payload.h"

extern const char kStagingFolderName[];
extern const char kJournalName[];
extern const char kJournalHeader[];
extern const char kStagedSuffix[];
extern const char kAsideSuffix[];
extern const char kDiscardedSuffix[];
// The length of each suffix.
const int kCopySuffixLength = 4;
const int kStagingBatch = 64;
// How much longer than the installed path "<directory>\<name>" a copy's
// path is at most: the folder, a subfolder of up to eight digits, two
// separators and the suffix.
const int kStagingExtraLength = 24;
// Room for any path inside the staging folder: a directory of at most the
// data directory buffer's length, a name of at most 255 characters and the
// staging part.
const int kStagingPathSize = 1024 + 256 + kStagingExtraLength;

// Whether the file name from `name` to `end` is a reserved device name,
// which Windows opens as the device in any folder: the part before its
// first dot, without trailing blanks, is CON, PRN, AUX, NUL, CONIN$,
// CONOUT$, or COM or LPT and one digit (superscript one, two and three
// count as digits too).
bool IsDeviceComponent(const char* name, const char* end);
// 1 when `name` is a bare file name the setup may have installed: printable
// ASCII without separators, wildcards or `:"<>|`, not "." or "..", not
// ending in a dot or blank, no device name, at most 255 characters.
int IsPlainFileName(const char* name);
// `directory`, one separator (none after a root's own) and `name` into
// `path`: 1, or 0 when it does not fit `size`.
int JoinPath(const char* directory, const char* name, char* path, int size);

// Opens `path` as a directory and holds it: no other program can rename,
// delete or replace it while the handle is open, so the names below it keep
// naming what is inside it. The handle, or INVALID_HANDLE_VALUE when `path`
// is not a real directory (a link, a junction, a file) or cannot be opened.
// `inheritable` lets a started program hold it too.
HANDLE HoldRealDirectory(const char* path, BOOL inheritable);
// 1 when the system says nothing is at `path` (file or path not found); any
// other failure to look is not taken for "gone".
int PathIsGone(const char* path);
// Removes whatever `attributes` describe at `path` as itself: a link (of a
// file or of a directory) without touching what it leads to, an empty
// directory, or a file. 1 when it is gone.
int RemoveAsItself(const char* path, DWORD attributes);
// Writes `size` bytes whole: 1, or 0 when fewer were written.
int WriteWhole(HANDLE file, const void* data, DWORD size);

// How finishing what an earlier run left went.
enum StagingOutcome {
  kStagingSettled = 1,      // no staging folder is left, or only things that are not the setup's
  kStagingNotRestored = 2,  // a previous file could not be put back: its copy is kept
  kStagingUnusable = 3      // the name is taken by a file, or the folder cannot be held
};
// Whom the settling is for: the setup, which needs the previous files back,
// or the uninstaller, which removes them anyway.
enum SettleMode { kSettleToRestore = 1, kSettleToRemove = 2 };
// Finishes what the last run left in the staging folder of `directory`: a
// run without "commit" rolled back, one with it rolled forward, then the
// folder removed when nothing else is in it. With kSettleToRemove a copy
// renamed aside that cannot be put back is deleted instead.
StagingOutcome SettleStagingFolder(const char* directory, SettleMode mode);

// A run's side, in this order: open the folder, then for each file record
// what it does, then commit; close in the end. A journal that cannot be
// written is a full disk: kExtractShortWrite.
//
// Makes the staging folder of `directory` (it may be there already, holding
// only what is not the setup's), holds it and starts the journal:
// kExtractDone, or kExtractCannotCreate when there is no folder of the
// setup's own or no new journal in it.
ExtractResult OpenStagingFolder(const char* directory);
// Records that the run is about to create `name`, or that it did not after
// all.
ExtractResult RecordCreation(const char* name);
void RecordNotCreated(const char* name);
// Records the `size` bytes of the installed `name`, read from `file` (open
// for reading, at its start) through `buffer` of `bufferSize` bytes:
// kExtractDone once they are all in the journal.
ExtractResult RecordPreviousBytes(const char* name, HANDLE file, DWORD size, unsigned char* buffer,
                                  DWORD bufferSize);
// The path for the installed `name` renamed aside, in a held subfolder with
// room for it, into a buffer of kStagingPathSize: 1, or 0 when no subfolder
// can be made.
int NextAsidePath(const char* name, char* aside);
// Records that every file is in place: from now on the run is rolled
// forward.
ExtractResult RecordCommit();
// Closes the journal and lets the held folders go.
void CloseStagingFolder();

#endif  // TIDEWELL_PAYLOAD_STAGING_H
