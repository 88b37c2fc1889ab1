// The product's items as shortcut files, made where Program Manager did not
// make them, and their removal. Each file is recorded in the profile once it
// is saved, so the uninstaller removes what the setup made and nothing
// else; a group's folder goes only when nothing else is in it
// (RemoveDirectoryA removes only an empty directory, so a file of the
// user's keeps it).
#include <direct.h>
#include <stdio.h>

#include "datadir/datadir.h"
#include "desktop/progman.h"
#include "desktop/shell.h"

namespace {

// The profile entries, in section kProfileSection of the profile, that name
// what the setup made: the group's folder (only when the setup created it)
// and each shortcut file, by its full path.
const char kShortcutFolderKey[] = "shortcutFolder";
const char kProgramShortcutKey[] = "programShortcut";
const char kUninstallShortcutKey[] = "uninstallShortcut";
const char kStartupShortcutKey[] = "startupShortcut";

char folder[kShellPathSize];
char groupFolder[kInstalledPathSize];
char linkPath[kInstalledPathSize];
char recorded[kInstalledPathSize];

bool Fits(int length, int size) {
  return length >= 0 && length < size;
}

// The Start menu folder the items go to: all users' for an administrator,
// as a setup for the whole machine would have it, else the user's own.
bool FindFolder(StartMenuFolder which) {
  return StartMenuFolderPath(which, kAllUsersForAdministrator, folder) != 0;
}

void Record(const char* key, const char* path) {
  WritePrivateProfileStringA(kProfileSection, key, path, SetupConfig.profileName);
}

// Makes "<directory>\<name>.lnk" and records it under `key`.
bool MakeRecordedLink(const char* directory, const char* name, const char* target,
                      const char* workingDirectory, const char* key) {
  if (!Fits(snprintf(linkPath, sizeof linkPath, "%s\\%s.lnk", directory, name),
            kInstalledPathSize) ||
      !MakeShellLink(linkPath, target, workingDirectory)) {
    return false;
  }
  Record(key, linkPath);
  return true;
}

// Reads the entry `key` into `recorded`, then removes the entry: 1 when it
// named a path.
bool TakeRecord(const char* key) {
  DWORD length = GetPrivateProfileStringA(kProfileSection, key, "", recorded, kInstalledPathSize,
                                          SetupConfig.profileName);
  WritePrivateProfileStringA(kProfileSection, key, nullptr, SetupConfig.profileName);
  // A value that fills the buffer may have been cut: it names no file of ours.
  return length > 0 && length < static_cast<DWORD>(kInstalledPathSize - 1);
}

}  // namespace

int MakeGroupShortcuts(const char* mainExePath, const char* uninstallerPath, const char* dataDir) {
  if (!FindFolder(kProgramsFolder) ||
      !Fits(snprintf(groupFolder, sizeof groupFolder, "%s\\%s", folder, SetupConfig.groupName),
            kInstalledPathSize)) {
    return 0;
  }
  // A folder that was there already is not the setup's to remove later.
  if (_mkdir(groupFolder) == 0) Record(kShortcutFolderKey, groupFolder);
  bool made =
      MakeRecordedLink(groupFolder, SetupConfig.appName, mainExePath, dataDir, kProgramShortcutKey);
  made =
      MakeRecordedLink(groupFolder, "Uninstall", uninstallerPath, dataDir, kUninstallShortcutKey) &&
      made;
  return made ? 1 : 0;
}

int MakeStartupShortcut(const char* mainExePath, const char* dataDir) {
  return FindFolder(kStartupFolder) && MakeRecordedLink(folder, SetupConfig.groupName, mainExePath,
                                                        dataDir, kStartupShortcutKey)
             ? 1
             : 0;
}

int RemoveRecordedShortcuts() {
  static const char* const kFileKeys[] = {kProgramShortcutKey, kUninstallShortcutKey};
  for (const char* key : kFileKeys) {
    if (TakeRecord(key)) DeleteFileA(recorded);
  }
  int startupShortcut = TakeRecord(kStartupShortcutKey) ? 1 : 0;
  if (startupShortcut) DeleteFileA(recorded);
  if (TakeRecord(kShortcutFolderKey)) RemoveDirectoryA(recorded);
  return startupShortcut;
}

void RemoveEmptyGroupFolders() {
  static const FolderOwner kOwners[] = {kCurrentUser, kAllUsers};
  for (FolderOwner owner : kOwners) {
    int length =
        StartMenuFolderPath(kProgramsFolder, owner, folder)
            ? snprintf(groupFolder, sizeof groupFolder, "%s\\%s", folder, SetupConfig.groupName)
            : -1;
    if (length >= 0 && length < kInstalledPathSize) RemoveDirectoryA(groupFolder);
  }
}
