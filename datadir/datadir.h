// The product's data directory: path operations, resolution with the user,
// and the "Choose a Data Directory" dialog.
#ifndef TIDEWELL_DATADIR_DATADIR_H
#define TIDEWELL_DATADIR_DATADIR_H

#include <windows.h>

#include "config/setup_config.h"

// A data directory of at most 1023 characters and its terminator.
const int kDataDirSize = 1024;
// A file inside the data directory: the directory, one separator and a
// configured file name, with the terminator.
const int kInstalledPathSize = kDataDirSize + kConfigNameSize;

// Process-wide: the data directory buffer and the owner of this stage's
// message boxes and dialog. After a successful ResolveDataDirectory the
// buffer holds the normalized directory, which is also the current directory.
extern char dataDirectory[kDataDirSize];
extern HWND messageOwner;

// Removes one trailing `ch` from `text`, if it ends in one.
void StripTrailingChar(char* text, char ch);
// Rewrites every run of '/' and '\' as one backslash, in place. A path that
// begins with two or more separators keeps two, so a network path stays one.
void NormalizeSeparators(char* path);
// Whether a path names its place without the current drive or directory: a
// drive letter, ':' and a separator, or two leading separators.
bool IsAbsolutePath(const char* path);
// Makes `path` the current directory: 0 on success, -1 on failure. With
// `create` nonzero, creates a missing directory (one level) before giving up.
int EnsureDirectory(const char* path, int create);

// Settles the data directory with the user: 1 when it is in the buffer,
// entered and recorded in the profile; 0 when the user gave up.
int ResolveDataDirectory(HINSTANCE instance, HWND owner);

// The dialog procedure of IDD_DATADIR. Ends the dialog with 1 when the user
// accepted a directory (stored in the data directory buffer), 0 on cancel.
INT_PTR CALLBACK DataDirDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The profile entry that records the data directory: section kProfileSection,
// key kProfileKey of the file SetupConfig.profileName.
extern const char kProfileSection[];
extern const char kProfileKey[];
// Reads the recorded directory into `out` (kDataDirSize characters), or
// `fallback` when there is none: 1, or 0 when the recorded value fills the
// buffer whole and so may have been cut (`out` is then unchanged).
int ReadRecordedDataDirectory(const char* fallback, char* out);
// Records `directory` in the profile: 1 when the profile took it, else 0.
int RecordDataDirectory(const char* directory);
// Removes the recorded entry when it names `directory`; other entries and
// sections stay as they are. A recorded text that does not fit the data
// directory buffer is never taken to name it.
void ForgetDataDirectory(const char* directory);
// 1 when two texts name the same directory as Windows compares them: without
// regard to letter case, to the kind of separator or to one trailing
// separator; else 0.
int SameDirectory(const char* a, const char* b);

// What a typed name is, as the dialog sees it.
enum PathStatus { kPathNotFound = 0, kPathDirectory = 1, kPathFile = 2 };
PathStatus QueryPathStatus(const char* name);

#endif  // TIDEWELL_DATADIR_DATADIR_H
