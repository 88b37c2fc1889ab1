// The product's items as shortcut files in the Start menu, for when Program
// Manager did not make them, and the records that let the uninstaller remove
// exactly those files.
#ifndef TIDEWELL_DESKTOP_SHORTCUTS_H
#define TIDEWELL_DESKTOP_SHORTCUTS_H

// The profile entries, in section kProfileSection of the profile, that name
// what the setup made: the group's folder (only when the setup created it)
// and each shortcut file, by its full path.
extern const char kShortcutFolderKey[];
extern const char kProgramShortcutKey[];
extern const char kUninstallShortcutKey[];
extern const char kStartupShortcutKey[];

// Makes the product's group as a folder of the Start menu's Programs folder,
// all users' when the setup runs as an administrator, the user's own
// otherwise, holding the product's item and "Uninstall", with the targets,
// working directory and names of the Program Manager commands. Records what
// it made. 1 when both items were made.
int MakeGroupShortcuts(const char* mainExePath, const char* uninstallerPath, const char* dataDir);
// Makes the product's Startup item, named after the group, in the matching
// Startup folder, and records it: 1 when it was made.
int MakeStartupShortcut(const char* mainExePath, const char* dataDir);

// Deletes the shortcut files that the setup recorded, then the group's
// folder when the setup created it and nothing else is in it, and forgets
// the records. Returns 1 when a Startup shortcut was recorded.
int RemoveRecordedShortcuts();
// Removes the group's folder from the Programs folders, the user's and all
// users', wherever nothing else is in it: what Program Manager makes for a
// group is such a folder.
void RemoveEmptyGroupFolders();

#endif  // TIDEWELL_DESKTOP_SHORTCUTS_H
