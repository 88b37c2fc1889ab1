// The product's key under the Uninstall key that Apps & features lists.
#include <stdio.h>

#include "desktop/uninstall_key.h"

int UninstallKeyPath(char* path) {
  int length =
      snprintf(path, kUninstallKeySize,
               "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s", SetupConfig.appName);
  return length >= 0 && length < kUninstallKeySize ? 1 : 0;
}

void UninstallRoots(HKEY roots[kUninstallRootCount]) {
  roots[0] = HKEY_LOCAL_MACHINE;
  roots[1] = HKEY_CURRENT_USER;
}
