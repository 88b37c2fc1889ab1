// The uninstaller: removes one installation of the product, the one in the
// directory that holds the uninstaller's own file, and only what the setup
// made there.
//
//   started by the user:  one uninstaller at a time, and none while a setup
//                         runs -> its own directory,
//                         held open -> an installation is there -> the
//                         question -> a copy of itself in the temporary
//                         directory -> running copies closed -> the copy
//                         started with the installation directory -> end
//   the copy:             holds the same directory -> waits for the first
//                         process to end -> what an interrupted setup left in
//                         its staging folder finished -> the payload files
//                         but uninst.exe -> uninst.exe ->
//                         the Program Manager items and the profile records,
//                         when the profile names this installation -> the
//                         directory, when the setup created it and it is
//                         empty -> the closing message -> its own file
//                         marked for deletion at the next restart
//
// The copy exists because a running program's file cannot be deleted on
// Windows. Only the copy that its first process started acts on the
// directory in its command line; any other start, whatever its command
// line, is an ordinary one on the uninstaller's own directory. The
// directory is held open from before the question to the end, so it cannot
// be swapped for another in between. When a file stays, the removal stops
// short of the uninstaller, the items and the records, so that it can be
// finished later. Every path returns 0.
#ifndef TIDEWELL_UNINSTALL_UNINSTALL_H
#define TIDEWELL_UNINSTALL_UNINSTALL_H

#include <windows.h>

#include "datadir/datadir.h"
#include "payload/payload.h"
#include "payload/staging.h"

// How long the copy waits for the first process, which ends right after
// starting it. Past this the copy goes on; a file still in use then stays
// and the closing message says so.
const DWORD kHandOverWaitMs = 30000;
// A file that cannot be deleted is tried again for this long (virus
// scanners hold new files briefly), with this pause between the tries.
const DWORD kDeleteRetryMs = 2000;
const DWORD kDeleteRetryPauseMs = 100;

// The uninstaller's own name among the payload files.
const char kUninstallerName[] = "uninst.exe";

// Process-wide: the installation directory this run works on.
extern char installDirectory[kDataDirSize];

// The directory of the running program's own file, into `directory`: 1, or
// 0 when its name cannot be had whole or names no file that is there (a
// name the ANSI functions could not spell).
int LocateInstallation(char* directory, int size);
// 1 when `directory` holds a payload file other than uninst.exe (which any
// uninstaller may be called), or the profile records it as the data
// directory; else 0: no installation of the product is there.
int HoldsInstallation(const PayloadNames* names, const char* directory);

// Opens `directory` and holds it so that it cannot be renamed, deleted or
// replaced until ReleaseInstallDirectory or the end of the process (and of
// the copy it starts, which inherits the handle): 1, or 0 when it cannot be
// opened or is no real directory (a link or other reparse point). Called
// once by each process.
int HoldInstallDirectory(const char* directory);
// The handle of the held directory, INVALID_HANDLE_VALUE when none is held.
HANDLE HeldInstallDirectory();
// 1 when `handle` is open on the held directory, by the file system's
// identity of the directory.
int IsHeldDirectory(HANDLE handle);
// 1 when `directory` names the held directory itself, not a link to it.
int PathNamesHeldDirectory(const char* directory);
// 1 when the system says the held directory has been deleted.
int HeldDirectoryIsGone();
// Lets the held directory go, as it must be before it can be removed.
void ReleaseInstallDirectory();

// How a removal ended, for the closing message.
enum RemovalOutcome {
  kRemovedAll = 1,            // everything of the product is gone
  kRemovedKeptDirectory = 2,  // so, but the directory holds files of others
  kRemovalIncomplete = 3      // a file of the product stays
};

// Asks whether to remove the product from `directory`: 1 for Yes.
int ConfirmRemoval(const char* directory);
// Tells the user that the installation directory could not be found.
void ReportNoInstallation();
// Tells the user that `directory` holds no installation of the product.
void ReportNotInstalled(const char* directory);
// Tells the user that no copy could be made in `tempDirectory`.
void ReportNoCopy(const char* tempDirectory);
// Tells the user that the lock could not be made.
void ReportNoLock();
// Tells the user that `directory` could not be held.
void ReportDirectoryNotHeld(const char* directory);
// Tells the user that another uninstaller is at work.
void ReportAlreadyRemoving();
// Tells the user that the setup program is at work.
void ReportSetupRunning();
// The closing message.
void ReportRemoval(RemovalOutcome outcome, const char* directory);

// Copies the running program to the temporary directory under a fresh
// name: 1, or 0 when no copy could be made there.
int MakeCopy();
// The temporary directory MakeCopy used ("" when it has none), for the
// user.
const char* CopyDirectory();
// Starts the copy MakeCopy made with a handle to this process, the held
// directory's handle and `directory`: 1 when it was started; else the copy
// is deleted again.
int StartCopy(const char* directory);
// What the first process hands to its copy: handles it inherits.
struct HandOver {
  HANDLE firstProcess;
  HANDLE heldDirectory;
};
// Reads a copy's command line, "<process handle> <directory handle>
// <directory>": 1 with all filled in, 0 when the line is not of that form,
// a number does not fit a handle or the directory does not fit.
int ParseHandOver(const char* commandLine, HandOver* handOver, char* directory, int size);
// 1 when this process is the copy that `firstProcess` started: the handle is
// one to a process, that process is this one's parent, and this program's
// own file lies in the temporary directory.
int IsTrustedHandOver(HANDLE firstProcess);
// Asks for the running program's own file to be deleted at the next restart.
void MarkOwnFileForDeletion();

// Finishes what an interrupted setup left in the staging folder of
// `directory` (its copies go with it), then deletes the payload files of
// `names`, uninst.exe last and only when everything else is gone: 1 when
// all are gone. Nothing else in the directory is touched.
int RemoveInstalledFiles(const PayloadNames* names, const char* directory);
// What stays of the held directory once the payload files are gone:
// removed when the setup `created` it, it is empty, its name still names it
// and it is not a root; its record goes with it, or when another program
// removed it. Returns 1 when it stays because it holds files of others,
// else 0 (also when it could not be listed: nothing is claimed then).
int RemoveInstallDirectory(const char* directory, int created);
// Files, then the items, records and directory, and the closing message.
void RemoveInstallation(const PayloadNames* names, const char* directory);

#endif  // TIDEWELL_UNINSTALL_UNINSTALL_H
