// One uninstaller at a time: a named mutex, made by the first process and
// inherited by the copy it starts, so the lock lasts until the copy is done.
#include <stdio.h>

#include "uninstall/uninstall.h"

namespace {

const char kLockNameFormat[] = "%s Uninstaller";
const int kLockNameSize = sizeof kLockNameFormat + kConfigNameSize;

HANDLE uninstallLock;

}  // namespace

LockResult TakeUninstallLock() {
  static char name[kLockNameSize];
  snprintf(name, sizeof name, kLockNameFormat, SetupConfig.appName);
  // A backslash would name a namespace.
  for (char* p = name; *p != '\0'; ++p) {
    if (*p == '\\') *p = '/';
  }
  SECURITY_ATTRIBUTES inheritable = {static_cast<DWORD>(sizeof(SECURITY_ATTRIBUTES)), nullptr,
                                     TRUE};
  HANDLE lock = CreateMutexA(&inheritable, FALSE, name);
  // Without the lock two uninstallers could work at once: none does.
  if (lock == nullptr) return kLockFailed;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(lock);
    return kLockHeldElsewhere;
  }
  uninstallLock = lock;
  return kLockTaken;
}

void ReleaseUninstallLock() {
  if (uninstallLock != nullptr) CloseHandle(uninstallLock);
  uninstallLock = nullptr;
}
