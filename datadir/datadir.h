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
// The longest full path of an installed file, terminator included, that the
// platform takes whole: MAX_PATH for the Windows ANSI file functions, the
// program's own buffers on the host. The build sets it for its platform.
const int kInstalledPathLimit = SETUP_INSTALLED_PATH_LIMIT;
static_assert(kInstalledPathLimit <= kDataDirSize,
              "the uninstaller reads its own installed path into a data directory buffer");

// Process-wide: the data directory buffer and the owner of this stage's
// message boxes and dialog. After a successful ResolveDataDirectory the
// buffer holds the normalized directory, which is also the current directory.
extern char dataDirectory[kDataDirSize];
extern HWND messageOwner;
// 1 when the dialog created the directory now in the buffer, 0 when the
// directory was there before this run.
extern int dataDirectoryCreated;

// Removes one trailing `ch` from `text`, if it ends in one.
void StripTrailingChar(char* text, char ch);
// Rewrites every run of '/' and '\' as one backslash, in place. A path that
// begins with two or more separators keeps two, so a network path stays one.
void NormalizeSeparators(char* path);
// Whether a path names its place without the current drive or directory: a
// drive letter, ':' and a separator, or two leading separators.
bool IsAbsolutePath(const char* path);
// Whether a full path names the root of a drive ("C:\") or of a network
// share ("\\server\share").
bool IsRootPath(const char* path);
// Replaces `path` (a kDataDirSize buffer) with the full path Windows uses for
// it: relative names resolved, separators normalized, a dot that ends a name
// and trailing dots and blanks of the last name removed. 1 on success; 0
// when the text has no full path (an empty one) and -1 when the full path
// would fill the buffer or the text is longer than the system takes;
// `path` is unchanged then.
int MakeFullPath(char* path);
// 1 when the full path of every payload file in `directory` stays within
// kInstalledPathLimit, else 0.
int InstalledPathsFit(const char* directory);
// Whether a full path names a device rather than a directory: a path in the
// device namespaces ("\\.\", "\\?\"), or one with a reserved device name
// (CON, NUL, COM1...) as any of its components, which Windows opens as the
// device whatever follows the name.
bool NamesDevice(const char* fullPath);
// Makes `path` the current directory: 0 on success, -1 on failure. With
// `create` nonzero, creates a missing directory (one level) before giving up.
int EnsureDirectory(const char* path, int create);

// Settles the data directory with the user: 1 when it is in the buffer,
// entered and recorded in the profile; 0 when the user gave up.
int ResolveDataDirectory(HINSTANCE instance, HWND owner);

// A home folder as the ANSI functions can name it: `drive` followed by
// `path`, as %HOMEDRIVE%%HOMEPATH% name it (null when not set: drive C:, no
// path; a path that begins with a drive takes no other). `spelt` is 0 when
// the ANSI code page lacks a character of the name; `shortName` then holds
// the folder's short name as a full path where the code page spells that
// (8.3 names are made of the plainest characters), else it is empty.
struct HomeFolder {
  int found;
  int spelt;
  const char* drive;
  const char* path;
  const char* shortName;
};
// The folders that may hold the home proposal: the profile folder of the
// desktop's user, found only when the setup runs as another user (an
// administrator who typed a password at the elevation prompt), and the
// folder of the variables, which are this process's own.
struct HomeFolders {
  HomeFolder desktopUser;
  HomeFolder variables;
};
// Looks the home folders up; defined with the desktop integration
// (desktop/shell_windows.cpp, the host's desktop/shell_absent.cpp), since
// the desktop's user and the wide texts are Windows extras.
void LookUpHomeFolders(HomeFolders* homes);
// Writes "<home folder>\<groupName>" into `proposal` (kDataDirSize
// characters): the desktop user's profile folder when found, else the
// variables' folder, by its name or else its short name. 0, `proposal`
// unchanged, when that folder has no name the ANSI functions take whole or
// the result would not fit: no look-alike, no '?' and no other user's home
// is ever proposed.
int ProposeHomeDirectory(const HomeFolders* homes, char* proposal);

// The dialog procedure of IDD_DATADIR. Ends the dialog with 1 when the user
// accepted a directory (stored in the data directory buffer), 0 on cancel.
INT_PTR CALLBACK DataDirDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The profile entries that record an installation, in section
// kProfileSection of the file SetupConfig.profileName: the data directory
// (kProfileKey), the directory the setup created (kProfileCreatedKey) and
// whether it added the product's Startup item (kProfileStartupKey).
extern const char kProfileSection[];
extern const char kProfileKey[];
extern const char kProfileCreatedKey[];
extern const char kProfileStartupKey[];
// Reads the recorded directory into `out` (kDataDirSize characters), or
// `fallback` when there is none: 1, or 0 when the recorded value fills the
// buffer whole and so may have been cut (`out` is then unchanged).
int ReadRecordedDataDirectory(const char* fallback, char* out);
// Records `directory` in the profile and, when the setup `created` it, that
// it did. A directory that existed leaves the record of creation as it is,
// so a reinstallation into the directory the setup made keeps it. 1 when
// the profile took what was written, else 0.
int RecordDataDirectory(const char* directory, int created);
// Records that the setup added the product's item to the Startup group. It
// stays recorded until the uninstaller removes that item.
int RecordStartupItem();

// What the profile says of the installation in a directory.
struct InstallationRecord {
  int current;      // the recorded data directory is this one, or none is
  int created;      // the setup created this directory
  int startupItem;  // current, and the setup added the Startup item
};
void ReadInstallationRecord(const char* directory, InstallationRecord* record);
// Removes the data directory and Startup entries; other entries and
// sections stay as they are.
void ForgetInstallation();
// Removes the record of the directory the setup created, once it is gone.
void ForgetCreatedDirectory();
// 1 when two texts name the same directory: their full paths are equal
// without regard to letter case, to the kind of separator or to one
// trailing separator, or, when it exists, both reach the same directory
// (a short name, a link); else 0.
int SameDirectory(const char* a, const char* b);

// What a typed name is, as the dialog sees it.
enum PathStatus { kPathNotFound = 0, kPathDirectory = 1, kPathFile = 2 };
PathStatus QueryPathStatus(const char* name);

#endif  // TIDEWELL_DATADIR_DATADIR_H
