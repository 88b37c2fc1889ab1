// The uninstaller's side of the shortcut files: exactly the recorded ones
// go, and a group's folder only when nothing else is in it. RemoveDirectoryA
// removes only an empty directory, so a file of the user's keeps it.
#include <stdio.h>

#include "datadir/datadir.h"
#include "desktop/shell.h"
#include "desktop/shortcuts.h"

namespace {

char recorded[kInstalledPathSize];
char folder[kShellPathSize];
char groupFolder[kInstalledPathSize];

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
