// The Start menu's folders as the shell names them, from shell32 of the
// system directory.
#include <windows.h>
#include <shlobj.h>

#include "desktop/shell.h"
#include "desktop/system_library.h"

namespace {

// The exact types of the two shell32 functions.
typedef HRESULT(WINAPI* SHGetFolderPathAFn)(HWND owner, int folder, HANDLE token, DWORD flags,
                                            LPSTR path);
typedef BOOL(WINAPI* IsUserAnAdminFn)();

}  // namespace

int StartMenuFolderPath(StartMenuFolder folder, FolderOwner owner, char* path) {
  static_assert(kShellPathSize >= MAX_PATH, "SHGetFolderPathA writes up to MAX_PATH characters");
  FARPROC found[2];
  if (!LookUpAll("shell32.dll", "SHGetFolderPathA\0IsUserAnAdmin", found, 2)) return 0;
  bool allUsers =
      owner == kAllUsers || (owner == kAllUsersForAdministrator && As<IsUserAnAdminFn>(found[1])());
  int id = folder == kProgramsFolder ? (allUsers ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS)
                                     : (allUsers ? CSIDL_COMMON_STARTUP : CSIDL_STARTUP);
  return SUCCEEDED(As<SHGetFolderPathAFn>(found[0])(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path))
             ? 1
             : 0;
}
