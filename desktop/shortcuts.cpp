// The product's items as shortcut files, made where Program Manager did not
// make them, and their removal. Each file is recorded in the profile once it
// is saved and the record forgotten once the file is gone, so the records
// name exactly the shortcut files there are and the uninstaller removes what
// the setup made and nothing else; a group's folder goes only when nothing
// else is in it (RemoveDirectoryA removes only an empty directory, so a file
// of the user's keeps it).
#include <direct.h>
#include <stdio.h>

#include "datadir/datadir.h"
#include "desktop/progman.h"
#include "desktop/shell.h"
#include "payload/path_rules.h"

namespace {

// The profile entries, in section kProfileSection of the profile, that name
// what the setup made: each shortcut file by its full path (the product's
// item, "Uninstall", the Startup item), and the group's folder, only when
// the setup created it.
const char* const kShortcutKeys[] = {"programShortcut", "uninstallShortcut", "startupShortcut"};
const int kStartupShortcut = 2;
const char kShortcutFolderKey[] = "shortcutFolder";

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

// Writes the entry `key`, or removes it when `path` is null.
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

// Reads the entry `key` into `recorded`: 1 when it names a path, 0 when
// there is none, -1 when it names no file of ours (a value that fills the
// buffer may have been cut).
int ReadRecord(const char* key) {
  DWORD length = GetPrivateProfileStringA(kProfileSection, key, "", recorded, kInstalledPathSize,
                                          SetupConfig.profileName);
  if (length == 0) return 0;
  return length < static_cast<DWORD>(kInstalledPathSize - 1) ? 1 : -1;
}

// Deletes what the entry `key` names, a file or (`isFolder`) a folder with
// nothing in it, and forgets the entry once nothing is at that name: true
// when no entry is left.
bool Forget(const char* key, bool isFolder) {
  int read = ReadRecord(key);
  if (read == 0) return true;
  if (read > 0) {
    if (isFolder) {
      RemoveDirectoryA(recorded);
    } else {
      DeleteFileA(recorded);
    }
    if (!PathIsGone(recorded)) return false;
  }
  Record(key, nullptr);
  return true;
}

// The group's folder in the Programs folder, made when it is not there:
// true when it can take the items.
bool MakeGroupFolder() {
  if (!FindFolder(kProgramsFolder) ||
      !Fits(snprintf(groupFolder, sizeof groupFolder, "%s\\%s", folder, SetupConfig.groupName),
            kInstalledPathSize)) {
    return false;
  }
  // A folder that was there already is not the setup's to remove later.
  if (_mkdir(groupFolder) == 0) Record(kShortcutFolderKey, groupFolder);
  return true;
}

}  // namespace

void SettleGroupShortcuts(const ItemOutcome outcomes[2], const char* mainExePath,
                          const char* uninstallerPath, const char* dataDir) {
  const char* const names[2] = {SetupConfig.appName, "Uninstall"};
  const char* const targets[2] = {mainExePath, uninstallerPath};
  for (int i = 0; i < 2; ++i) {
    // An item that may still be made keeps what it has; an earlier file that
    // cannot be deleted still holds the item.
    if (outcomes[i] == kItemMayStillBeMade || !Forget(kShortcutKeys[i], false)) continue;
    if (outcomes[i] == kItemNeedsShortcut && MakeGroupFolder()) {
      MakeRecordedLink(groupFolder, names[i], targets[i], dataDir, kShortcutKeys[i]);
    }
  }
  if (ReadRecord(kShortcutKeys[0]) == 0 && ReadRecord(kShortcutKeys[1]) == 0) {
    Forget(kShortcutFolderKey, true);
  }
}

int SettleStartupShortcut(ItemOutcome outcome, const char* mainExePath, const char* dataDir) {
  if (outcome == kItemMayStillBeMade) return 0;
  const char* key = kShortcutKeys[kStartupShortcut];
  bool forgotten = Forget(key, false);
  return outcome == kItemByProgramManager || !forgotten ||
                 (FindFolder(kStartupFolder) &&
                  MakeRecordedLink(folder, SetupConfig.groupName, mainExePath, dataDir, key))
             ? 1
             : 0;
}

int RemoveRecordedShortcuts() {
  int startupShortcut = ReadRecord(kShortcutKeys[kStartupShortcut]) > 0 ? 1 : 0;
  for (const char* key : kShortcutKeys) Forget(key, false);
  Forget(kShortcutFolderKey, true);
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
