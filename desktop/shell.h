// What the Windows shell and registry add to the desktop integration: the
// DDE replies let through the message filter, the Start menu's folders and
// shortcut files, starting a program as the desktop's user, and the entry
// in Apps & features. Each is looked up at run time in a DLL of the system
// directory, so the program imports only KERNEL32, USER32 and msvcrt and
// still runs where a part is missing (shell_windows.cpp, uninstall_entry.cpp).
// The host build has none of them (shell_absent.cpp): each says so, and the
// callers carry on as on a Windows without it.
#ifndef TIDEWELL_DESKTOP_SHELL_H
#define TIDEWELL_DESKTOP_SHELL_H

#include <windows.h>

// Room for a folder path that the shell gives back (MAX_PATH on Windows).
const int kShellPathSize = 260;

// Lets the replies of a DDE execute conversation (WM_DDE_ACK and
// WM_DDE_TERMINATE) through the process's message filter, so that a server
// at a lower integrity level, Explorer under an elevated setup, can answer.
// 1 when both are admitted; 0 where the filter cannot be changed (before
// Windows Vista there is none).
int AdmitDdeReplies();

// The Start menu folders that hold the product's items.
enum StartMenuFolder { kProgramsFolder = 1, kStartupFolder = 2 };
// Whose folder: the current user's, all users', or all users' when the
// program runs with an administrator's rights and the user's own otherwise.
enum FolderOwner { kCurrentUser = 1, kAllUsers = 2, kAllUsersForAdministrator = 3 };
// The folder's path into `path` (kShellPathSize characters): 1, or 0 when
// the shell cannot say.
int StartMenuFolderPath(StartMenuFolder folder, FolderOwner owner, char* path);
// Makes the shortcut file `linkPath` that starts `target` in
// `workingDirectory`, replacing one of that name: 1 when it is saved.
int MakeShellLink(const char* linkPath, const char* target, const char* workingDirectory);

// Starts `file` in `directory` through the desktop's own shell, so that it
// runs as the user the desktop belongs to, not with this program's token:
// 1 when the shell took the request, 0 when there is no such route (no
// shell running, a call refused).
int StartThroughShell(const char* file, const char* directory);

// The build's version and publisher of the product, defined for each setup
// program by the build.
extern const char kProductVersion[];
extern const char kProductPublisher[];
// Writes the product's entry in Apps & features for the installation in
// `directory`: its name, version, publisher, icon, location, size and the
// command that uninstalls it. For all users when the machine's part of the
// registry can be written, else for the current user. 1 when written.
int WriteUninstallEntry(const char* directory, const char* mainExePath,
                        const char* uninstallerPath);
// Removes the product's entry, for all users and for the current user, each
// only when its InstallLocation names `directory`.
void RemoveUninstallEntry(const char* directory);

#endif  // TIDEWELL_DESKTOP_SHELL_H
