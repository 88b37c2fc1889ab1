// Starting a program as the desktop's user. An elevated setup's own token
// would give the product administrator's rights, files owned by the
// administrators and, after over-the-shoulder elevation, another account.
// The desktop's Explorer runs with the user's own token, so the program is
// handed to Explorer: its desktop window's folder view (IShellWindows with
// SWC_DESKTOP, the top-level browser's active shell view) leads to the
// shell's automation object in Explorer's process, whose
// IShellDispatch2::ShellExecute starts the program there.
#include <windows.h>
#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>

#include "desktop/com_runtime.h"
#include "desktop/shell.h"
#include "desktop/system_library.h"

namespace {

// The exact types of the two oleaut32 functions.
typedef BSTR(WINAPI* SysAllocStringFn)(const OLECHAR* text);
typedef void(WINAPI* SysFreeStringFn)(BSTR text);

WCHAR wideFile[kShellPathSize];
WCHAR wideDirectory[kShellPathSize];

// The objects met on the way to the desktop's shell, in order.
enum WayPoint {
  kShellWindows,
  kDesktopWindow,
  kServiceProvider,
  kBrowser,
  kShellView,
  kBackground,
  kFolderView,
  kApplication,
  kWayPointCount
};

// The automation object of the shell that shows the desktop, or null.
IShellDispatch2* DesktopShell(const ComRuntime* com) {
  IUnknown* way[kWayPointCount] = {};
  IShellDispatch2* shell = nullptr;
  VARIANT location = {};
  location.vt = VT_I4;
  location.lVal = CSIDL_DESKTOP;
  VARIANT root = {};
  LONG window = 0;
  IDispatch* desktop = nullptr;
  IShellView* view = nullptr;
  IDispatch* application = nullptr;
  bool reached =
      SUCCEEDED(com->coCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                      IID_IShellWindows,
                                      reinterpret_cast<void**>(&way[kShellWindows]))) &&
      static_cast<IShellWindows*>(way[kShellWindows])
              ->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &desktop) ==
          S_OK &&
      (way[kDesktopWindow] = desktop) != nullptr &&
      SUCCEEDED(desktop->QueryInterface(IID_IServiceProvider,
                                        reinterpret_cast<void**>(&way[kServiceProvider]))) &&
      SUCCEEDED(static_cast<IServiceProvider*>(way[kServiceProvider])
                    ->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                   reinterpret_cast<void**>(&way[kBrowser]))) &&
      SUCCEEDED(static_cast<IShellBrowser*>(way[kBrowser])->QueryActiveShellView(&view)) &&
      (way[kShellView] = view) != nullptr &&
      SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch,
                                    reinterpret_cast<void**>(&way[kBackground]))) &&
      SUCCEEDED(way[kBackground]->QueryInterface(IID_IShellFolderViewDual,
                                                 reinterpret_cast<void**>(&way[kFolderView]))) &&
      SUCCEEDED(
          static_cast<IShellFolderViewDual*>(way[kFolderView])->get_Application(&application)) &&
      (way[kApplication] = application) != nullptr;
  if (!reached ||
      FAILED(application->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(&shell)))) {
    shell = nullptr;
  }
  ReleaseAll(way, kWayPointCount);
  return shell;
}

}  // namespace

int StartThroughShell(const char* file, const char* directory) {
  FARPROC found[2];
  ComRuntime com;
  if (!LookUpAll("oleaut32.dll", "SysAllocString\0SysFreeString", found, 2) ||
      !WidenText(file, wideFile, kShellPathSize) ||
      !WidenText(directory, wideDirectory, kShellPathSize) || !StartCom(&com)) {
    return 0;
  }
  SysAllocStringFn allocString = As<SysAllocStringFn>(found[0]);
  SysFreeStringFn freeString = As<SysFreeStringFn>(found[1]);
  int started = 0;
  IShellDispatch2* shell = DesktopShell(&com);
  if (shell != nullptr) {
    BSTR fileText = allocString(wideFile);
    VARIANT none = {};
    VARIANT workingDirectory = {};
    workingDirectory.vt = VT_BSTR;
    workingDirectory.bstrVal = allocString(wideDirectory);
    VARIANT show = {};
    show.vt = VT_I4;
    show.lVal = SW_SHOW;
    if (fileText != nullptr && workingDirectory.bstrVal != nullptr) {
      // No arguments, the default verb.
      started =
          SUCCEEDED(shell->ShellExecute(fileText, none, workingDirectory, none, show)) ? 1 : 0;
    }
    freeString(fileText);
    freeString(workingDirectory.bstrVal);
    shell->Release();
  }
  StopCom(&com);
  return started;
}
