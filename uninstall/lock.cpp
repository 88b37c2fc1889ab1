// One uninstaller at a time: a named mutex, made by the first process and
// inherited by the copy it starts, so the lock lasts until the copy is done.
#include <stdio.h>

#include "uninstall/uninstall.h"

namespace {

const char kLockNameFormat[] = "%s Uninstaller";
const int kLockNameSize = sizeof kLockNameFormat + kConfigNameSize;

HANDLE uninstallLock;

}  // namespace

int TakeUninstallLock() {
  static char name[kLockNameSize];
  snprintf(name, sizeof name, kLockNameFormat, SetupConfig.appName);
  // A backslash would name a namespace.
  for (char* p = name; *p != '\0'; ++p) {
    if (*p == '\\') *p = '/';
  }
  SECURITY_ATTRIBUTES inheritable = {static_cast<DWORD>(sizeof(SECURITY_ATTRIBUTES)), nullptr,
                                     TRUE};
  HANDLE lock = CreateMutexA(&inheritable, FALSE, name);
  // Without a lock to be had the uninstaller works as it would alone.
  if (lock == nullptr) return 1;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(lock);
    return 0;
  }
  uninstallLock = lock;
  return 1;
}

void ReleaseUninstallLock() {
  if (uninstallLock != nullptr) CloseHandle(uninstallLock);
  uninstallLock = nullptr;
}
