// The uninstaller: removes one installation of the product, the one in the
// directory that holds the uninstaller's own file, and only what the setup
// made there.
//
//   started by the user:  one uninstaller at a time -> the question ->
//                         running copies closed -> a copy of itself in the
//                         temporary directory, started with the installation
//                         directory -> end
//   the copy:             waits for the first process to end -> the payload
//                         files but uninst.exe -> uninst.exe -> the Program
//                         Manager items and the profile records, when the
//                         profile names this installation -> the directory,
//                         when the setup created it and it is empty -> the
//                         closing message -> its own file marked for deletion
//                         at the next restart
//
// The copy exists because a running program's file cannot be deleted on
// Windows. It acts without asking only when it truly is the copy its first
// process started; any other command line is a person's, who is asked about
// the directory it names first. When a file stays, the removal stops short
// of the uninstaller, the items and the records, so that it can be finished
// later. Every path returns 0.
#ifndef TIDEWELL_UNINSTALL_UNINSTALL_H
#define TIDEWELL_UNINSTALL_UNINSTALL_H

#include <windows.h>

#include "datadir/datadir.h"
#include "payload/payload.h"

// How long the copy waits for the first process, which ends right after
// starting it. Past this the copy goes on; a file still in use then stays
// and the closing message says so.
const DWORD kHandOverWaitMs = 30000;
// A file that cannot be deleted is tried again for this long (virus
// scanners hold new files briefly), with this pause between the tries.
const DWORD kDeleteRetryMs = 2000;
const DWORD kDeleteRetryPauseMs = 100;

// Process-wide: the installation directory this run works on.
extern char installDirectory[kDataDirSize];

// The directory of the running program's own file, into `directory`: 1, or
// 0 when its name cannot be had whole or names no file that is there (a
// name the ANSI functions could not spell).
int LocateInstallation(char* directory, int size);
// `directory`, one separator and `name` into `path` (no second separator
// after a drive root): 1, or 0 when it does not fit.
int JoinPath(const char* directory, const char* name, char* path, int size);

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
// Tells the user that another uninstaller is at work.
void ReportAlreadyRemoving();
// The closing message.
void ReportRemoval(RemovalOutcome outcome, const char* directory);

// Takes the lock that lets one uninstaller work at a time: 1, or 0 when
// another one holds it. The lock is held until ReleaseUninstallLock or the
// end of the process, and the copy this process starts holds it too.
int TakeUninstallLock();
void ReleaseUninstallLock();

// Copies the running program to the temporary directory and starts the copy
// with a handle to this process and `directory`: 1 when it was started.
int HandOverToCopy(const char* directory);
// Reads a copy's command line, "<handle> <directory>": 1 with both filled
// in, 0 when the line is not of that form, the number does not fit a handle
// or the directory does not fit.
int ParseHandOver(const char* commandLine, HANDLE* firstProcess, char* directory, int size);
// 1 when this process is the copy that `firstProcess` started: the handle is
// one to a process, that process is this one's parent, and this program's
// own file lies in the temporary directory.
int IsTrustedHandOver(HANDLE firstProcess);
// Asks for the running program's own file to be deleted at the next restart.
void MarkOwnFileForDeletion();

// 1 when the system says nothing is at `path` (file or path not found); any
// other failure to look is not taken for "gone".
int PathIsGone(const char* path);
// Deletes the payload files of `names` from `directory`, uninst.exe last and
// only when every other one is gone: 1 when all are gone. Nothing else in
// the directory is touched.
int RemoveInstalledFiles(const PayloadNames* names, const char* directory);
// What stays of the directory once the payload files are gone: removed when
// the setup `created` it, it is empty, a real directory and not a root.
// Returns 1 when it stays because it holds files of others, else 0.
int RemoveInstallDirectory(const char* directory, int created);
// Files, then the items, records and directory, and the closing message.
void RemoveInstallation(const PayloadNames* names, const char* directory);

#endif  // TIDEWELL_UNINSTALL_UNINSTALL_H
