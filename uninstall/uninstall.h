// The uninstaller: removes one installation of the product, the one in the
// directory that holds the uninstaller's own file.
//
//   started by the user:  the question -> running copies closed -> the
//                         Program Manager items removed -> a copy of itself
//                         in the temporary directory, started with the
//                         installation directory -> end
//   the copy:             waits for the first process to end -> the payload
//                         files removed by name -> the directory removed when
//                         it is empty -> the profile entry removed when it
//                         names the directory -> the closing message -> its
//                         own file marked for deletion at the next restart
//
// The copy exists because a running program's file cannot be deleted on
// Windows. When it cannot be made or started, the first process removes what
// it can itself and says what is left. Every path returns 0.
#ifndef TIDEWELL_UNINSTALL_UNINSTALL_H
#define TIDEWELL_UNINSTALL_UNINSTALL_H

#include <windows.h>

#include "datadir/datadir.h"
#include "payload/payload.h"

// How long the copy waits for the first process, which ends right after
// starting it. Past this the copy goes on; a file still in use then stays
// and the closing message says so.
const DWORD kHandOverWaitMs = 30000;

// Process-wide: the installation directory this run works on.
extern char installDirectory[kDataDirSize];

// The directory of the running program's own file, into `directory`: 1, or
// 0 when its name cannot be had whole.
int LocateInstallation(char* directory, int size);
// `directory`, one separator and `name` into `path` (no second separator
// after a drive root): 1, or 0 when it does not fit.
int JoinPath(const char* directory, const char* name, char* path, int size);

// Asks whether to remove the product from `directory`: 1 for Yes.
int ConfirmRemoval(const char* directory);
// Tells the user that the installation directory could not be found.
void ReportNoInstallation();
// The closing message: everything removed (complete 1), or some files left.
void ReportRemoval(int complete, const char* directory);

// Copies the running program to the temporary directory and starts the copy
// with a handle to this process and `directory`: 1 when it was started.
int HandOverToCopy(const char* directory);
// Reads a copy's command line, "<handle> <directory>": 1 with both filled
// in, 0 when the line is not of that form or the directory does not fit.
int ParseHandOver(const char* commandLine, HANDLE* firstProcess, char* directory, int size);
// Asks for the running program's own file to be deleted at the next restart.
void MarkOwnFileForDeletion();

// Deletes every file of `names` from `directory`: 1 when none is left, 0
// when one could not be deleted. Nothing else in the directory is touched.
int RemoveInstalledFiles(const PayloadNames* names, const char* directory);
// Removes `directory` when it is empty: 1 when it is gone.
int RemoveDirectoryIfEmpty(const char* directory);
// Files, directory, profile entry and the closing message, in that order.
void RemoveInstallation(const PayloadNames* names, const char* directory);

#endif  // TIDEWELL_UNINSTALL_UNINSTALL_H
