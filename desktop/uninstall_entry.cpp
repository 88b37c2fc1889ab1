// The product's entry in Apps & features ("Add or remove programs"): the
// setup writes it after a successful installation, the uninstaller removes
// it only when it names this installation, so an older installation's
// uninstaller leaves the current installation's entry alone. Its version
// and publisher are the build's (kProductVersion, kProductPublisher); the
// size is what the payload files take on disk. Windows build only: the
// registry functions come from advapi32 of the system directory.
#include <stdio.h>
#include <string.h>

#include "datadir/datadir.h"
#include "desktop/shell.h"
#include "loader/system_library.h"
#include "payload/payload.h"

namespace {

// The exact types of the functions of advapi32.
typedef LONG(WINAPI* RegCreateKeyExAFn)(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass,
                                        DWORD options, REGSAM access,
                                        LPSECURITY_ATTRIBUTES security, PHKEY result,
                                        LPDWORD disposition);
typedef LONG(WINAPI* RegSetValueExAFn)(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                                       const BYTE* data, DWORD size);
typedef LONG(WINAPI* RegOpenKeyExAFn)(HKEY key, LPCSTR subKey, DWORD options, REGSAM access,
                                      PHKEY result);
typedef LONG(WINAPI* RegQueryValueExAFn)(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type,
                                         LPBYTE data, LPDWORD size);
typedef LONG(WINAPI* RegCloseKeyFn)(HKEY key);
typedef LONG(WINAPI* RegDeleteKeyAFn)(HKEY key, LPCSTR subKey);

// "Software\Microsoft\Windows\CurrentVersion\Uninstall\" and appName.
const int kUninstallKeySize = 64 + kConfigNameSize;
// The registry parts that may hold the entry: all users', then the user's
// own. All users' entry needs an administrator; the user's own does not.
const int kUninstallRootCount = 2;
void UninstallRoots(HKEY roots[kUninstallRootCount]) {
  roots[0] = HKEY_LOCAL_MACHINE;
  roots[1] = HKEY_CURRENT_USER;
}

// The entry's values, named one after the other: the texts, then the
// numbers.
const int kTextCount = 6;
const int kNumberCount = 3;
const char kValueNames[] =
    "DisplayName\0DisplayVersion\0Publisher\0DisplayIcon\0InstallLocation\0UninstallString\0"
    "EstimatedSize\0NoModify\0NoRepair";
const char kInstallLocationValue[] = "InstallLocation";

char keyPath[kUninstallKeySize];
char filePath[kInstalledPathSize];
char uninstallCommand[kInstalledPathSize + 2];
char location[kDataDirSize];

// The entry's key path into keyPath: 1, or 0 when the application's name
// does not fit.
int UninstallKeyPath() {
  int length =
      snprintf(keyPath, kUninstallKeySize,
               "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s", SetupConfig.appName);
  return length >= 0 && length < kUninstallKeySize ? 1 : 0;
}

// What the payload files take in `directory`, in KiB, rounded up. The
// payload holds at most 1 GiB, so the sum fits a DWORD.
DWORD InstalledKiB(const char* directory) {
  DWORD bytes = 0;
  for (int i = 0; i < kPayloadTable.fileCount; ++i) {
    WIN32_FIND_DATAA found;
    int length =
        snprintf(filePath, sizeof filePath, "%s\\%s", directory, kPayloadTable.files[i].name);
    HANDLE find = length >= 0 && length < kInstalledPathSize ? FindFirstFileA(filePath, &found)
                                                             : INVALID_HANDLE_VALUE;
    if (find == INVALID_HANDLE_VALUE) continue;
    FindClose(find);
    bytes += found.nFileSizeLow;
  }
  return (bytes + 1023) >> 10;
}

}  // namespace

int WriteUninstallEntry(const char* directory, const char* mainExePath,
                        const char* uninstallerPath) {
  FARPROC found[3];
  int length = snprintf(uninstallCommand, sizeof uninstallCommand, "\"%s\"", uninstallerPath);
  if (!LookUpAll("advapi32.dll", "RegCreateKeyExA\0RegSetValueExA\0RegCloseKey", found, 3) ||
      !UninstallKeyPath() || length < 0 || length >= static_cast<int>(sizeof uninstallCommand)) {
    return 0;
  }
  HKEY key = nullptr;
  bool opened = false;
  HKEY roots[kUninstallRootCount];
  UninstallRoots(roots);
  for (HKEY root : roots) {
    opened = As<RegCreateKeyExAFn>(found[0])(root, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                             &key, nullptr) == ERROR_SUCCESS;
    if (opened) break;
  }
  if (!opened) return 0;
  const char* const texts[kTextCount] = {SetupConfig.appName, kProductVersion, kProductPublisher,
                                         mainExePath,         directory,       uninstallCommand};
  const DWORD numbers[kNumberCount] = {InstalledKiB(directory), 1, 1};
  RegSetValueExAFn setValue = As<RegSetValueExAFn>(found[1]);
  bool written = true;
  const char* name = kValueNames;
  for (int i = 0; i < kTextCount + kNumberCount; ++i, name += strlen(name) + 1) {
    bool text = i < kTextCount;
    const BYTE* data = text ? reinterpret_cast<const BYTE*>(texts[i])
                            : reinterpret_cast<const BYTE*>(&numbers[i - kTextCount]);
    DWORD size = text ? static_cast<DWORD>(strlen(texts[i]) + 1) : sizeof(DWORD);
    if (setValue(key, name, 0, text ? REG_SZ : REG_DWORD, data, size) != ERROR_SUCCESS) {
      written = false;
    }
  }
  As<RegCloseKeyFn>(found[2])(key);
  return written ? 1 : 0;
}

void RemoveUninstallEntry(const char* directory) {
  FARPROC found[4];
  if (!LookUpAll("advapi32.dll", "RegOpenKeyExA\0RegQueryValueExA\0RegCloseKey\0RegDeleteKeyA",
                 found, 4) ||
      !UninstallKeyPath()) {
    return;
  }
  RegOpenKeyExAFn openKey = As<RegOpenKeyExAFn>(found[0]);
  RegQueryValueExAFn queryValue = As<RegQueryValueExAFn>(found[1]);
  RegCloseKeyFn closeKey = As<RegCloseKeyFn>(found[2]);
  RegDeleteKeyAFn deleteKey = As<RegDeleteKeyAFn>(found[3]);
  HKEY roots[kUninstallRootCount];
  UninstallRoots(roots);
  for (HKEY root : roots) {
    HKEY key = nullptr;
    if (openKey(root, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) continue;
    DWORD type = 0;
    // One character short of the buffer, so the text read is terminated.
    DWORD size = kDataDirSize - 1;
    bool named = queryValue(key, kInstallLocationValue, nullptr, &type,
                            reinterpret_cast<LPBYTE>(location), &size) == ERROR_SUCCESS &&
                 type == REG_SZ;
    closeKey(key);
    if (named) {
      location[size < static_cast<DWORD>(kDataDirSize) ? size : kDataDirSize - 1] = '\0';
      if (SameDirectory(location, directory)) deleteKey(root, keyPath);
    }
  }
}
