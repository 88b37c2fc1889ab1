// The product's items as shortcut files, made where Program Manager did not
// make them. Each file is recorded in the profile once it is saved, so the
// uninstaller removes what the setup made and nothing else.
#include <direct.h>
#include <stdio.h>

#include "datadir/datadir.h"
#include "desktop/shell.h"
#include "desktop/shortcuts.h"

extern const char kShortcutFolderKey[] = "shortcutFolder";
extern const char kProgramShortcutKey[] = "programShortcut";
extern const char kUninstallShortcutKey[] = "uninstallShortcut";
extern const char kStartupShortcutKey[] = "startupShortcut";

namespace {

char folder[kShellPathSize];
char groupFolder[kInstalledPathSize];
char linkPath[kInstalledPathSize];

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
