// Common Controls 6 registers its classes, the standard ones among them,
// through InitCommonControlsEx; InitCommonControls does nothing in that
// version. The function is looked up in comctl32.dll at run time, so the
// imports stay KERNEL32, USER32 and msvcrt. Windows build only.
#include "ui/common_controls.h"

#include <windows.h>
#include <commctrl.h>

#include "loader/system_library.h"

namespace {

// The exact type of InitCommonControlsEx, calling convention included.
typedef BOOL(WINAPI* InitCommonControlsExFn)(const INITCOMMONCONTROLSEX* classes);

}  // namespace

int PrepareCommonControls() {
  // Common Controls 6 draws through the theme library. Loaded here by its
  // full path, it is the copy that later loads by name find, also on a
  // Windows whose loader settings cannot keep those to the system directory.
  LoadSystemLibrary("uxtheme.dll");
  // The manifest's dependency redirects the system directory's comctl32.dll
  // to the Common Controls 6 assembly; without one this is version 5, which
  // registers no standard class and leaves user32's.
  FARPROC found;
  if (!LookUpAll("comctl32.dll", "InitCommonControlsEx\0", &found, 1)) return 0;
  INITCOMMONCONTROLSEX classes;
  classes.dwSize = sizeof classes;
  classes.dwICC = ICC_STANDARD_CLASSES;
  return As<InitCommonControlsExFn>(found)(&classes) ? 1 : 0;
}
