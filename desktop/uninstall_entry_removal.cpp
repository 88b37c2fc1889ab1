// The uninstaller's side of the Apps & features entry: an entry goes only
// when it names this installation, so an older installation's uninstaller
// leaves the current installation's entry alone.
#include "datadir/datadir.h"
#include "desktop/shell.h"
#include "desktop/system_library.h"
#include "desktop/uninstall_key.h"

namespace {

// The exact types of the functions of advapi32.
typedef LONG(WINAPI* RegOpenKeyExAFn)(HKEY key, LPCSTR subKey, DWORD options, REGSAM access,
                                      PHKEY result);
typedef LONG(WINAPI* RegQueryValueExAFn)(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type,
                                         LPBYTE data, LPDWORD size);
typedef LONG(WINAPI* RegCloseKeyFn)(HKEY key);
typedef LONG(WINAPI* RegDeleteKeyAFn)(HKEY key, LPCSTR subKey);

const char kInstallLocationValue[] = "InstallLocation";

char keyPath[kUninstallKeySize];
char location[kDataDirSize];

}  // namespace

void RemoveUninstallEntry(const char* directory) {
  FARPROC found[4];
  if (!LookUpAll("advapi32.dll", "RegOpenKeyExA\0RegQueryValueExA\0RegCloseKey\0RegDeleteKeyA",
                 found, 4) ||
      !UninstallKeyPath(keyPath)) {
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
