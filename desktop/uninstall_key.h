// Where the product's entry in Apps & features lives, and the functions of
// advapi32 that read and write it. Windows build only.
#ifndef TIDEWELL_DESKTOP_UNINSTALL_KEY_H
#define TIDEWELL_DESKTOP_UNINSTALL_KEY_H

#include <windows.h>

#include "config/setup_config.h"

// "Software\Microsoft\Windows\CurrentVersion\Uninstall\" and appName.
const int kUninstallKeySize = 64 + kConfigNameSize;
// The registry parts that may hold the entry: all users', then the user's
// own.
const int kUninstallRootCount = 2;
void UninstallRoots(HKEY roots[kUninstallRootCount]);

// The entry's key path into `path` (kUninstallKeySize characters): 1, or 0
// when the application's name does not fit.
int UninstallKeyPath(char* path);

#endif  // TIDEWELL_DESKTOP_UNINSTALL_KEY_H
