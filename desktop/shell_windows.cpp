// The Windows extras of the desktop integration, each looked up at run time
// in a DLL of the system directory (loader/system_library.h): the DDE replies let
// through the message filter, the Start menu's folders, shortcut files,
// starting a program through the desktop's Explorer, and the home folders
// that the data directory's proposal comes from. The host build has
// shell_absent.cpp instead.
#include <windows.h>
#include <dde.h>
#include <exdisp.h>
#include <objbase.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include "datadir/datadir.h"
#include "desktop/shell.h"
#include "loader/system_library.h"

// COM for the shell objects, from ole32 of the system directory.
namespace {

// The exact types of the functions the program calls.
typedef HRESULT(WINAPI* CoInitializeFn)(LPVOID reserved);
typedef void(WINAPI* CoUninitializeFn)();
typedef HRESULT(WINAPI* CoCreateInstanceFn)(REFCLSID classId, LPUNKNOWN outer, DWORD context,
                                            REFIID interfaceId, LPVOID* object);

struct ComRuntime {
  CoInitializeFn coInitialize;
  CoUninitializeFn coUninitialize;
  CoCreateInstanceFn coCreateInstance;
  HRESULT initialized;  // what CoInitialize said
};

// Looks the functions up and initializes COM on this thread: 1 when COM
// can be used, 0 when ole32 or one of its functions is missing or COM
// cannot be initialized.
int StartCom(ComRuntime* com) {
  com->initialized = E_FAIL;
  FARPROC found[3];
  if (!LookUpAll("ole32.dll", "CoInitialize\0CoUninitialize\0CoCreateInstance", found, 3)) {
    return 0;
  }
  com->coInitialize = As<CoInitializeFn>(found[0]);
  com->coUninitialize = As<CoUninitializeFn>(found[1]);
  com->coCreateInstance = As<CoCreateInstanceFn>(found[2]);
  // A single-threaded apartment, as the shell's objects expect. S_FALSE
  // (already initialized) is balanced by CoUninitialize as well.
  com->initialized = com->coInitialize(nullptr);
  return SUCCEEDED(com->initialized) ? 1 : 0;
}

// Undoes a successful StartCom.
void StopCom(const ComRuntime* com) {
  if (SUCCEEDED(com->initialized)) com->coUninitialize();
}

// Releases each object that is not null.
void ReleaseAll(IUnknown* const* objects, int count) {
  for (int i = 0; i < count; ++i) {
    if (objects[i] != nullptr) objects[i]->Release();
  }
}

// Converts an ANSI text into `wide` (`size` characters): 1, or 0 when it
// does not fit.
int WidenText(const char* text, WCHAR* wide, int size) {
  return MultiByteToWideChar(CP_ACP, 0, text, -1, wide, size) > 0 ? 1 : 0;
}

}  // namespace

// Letting Program Manager's replies in. An elevated setup runs at a higher
// integrity level than Explorer, the desktop's Program Manager, and User
// Interface Privilege Isolation drops messages from a lower level unless
// the receiving process admits them. The DDEML's windows receive the
// server's WM_DDE_ACK (to the connection and to each command) and its
// WM_DDE_TERMINATE; without them no conversation is ever made.
namespace {

// The exact type of ChangeWindowMessageFilter (Windows Vista and later).
typedef BOOL(WINAPI* ChangeWindowMessageFilterFn)(UINT message, DWORD flag);

const UINT kDdeReplies[] = {WM_DDE_ACK, WM_DDE_TERMINATE};

}  // namespace

int AdmitDdeReplies() {
  FARPROC found;
  if (!LookUpAll("user32.dll", "ChangeWindowMessageFilter", &found, 1)) return 0;
  ChangeWindowMessageFilterFn changeFilter = As<ChangeWindowMessageFilterFn>(found);
  int admitted = 1;
  for (UINT message : kDdeReplies) {
    if (!changeFilter(message, MSGFLT_ADD)) admitted = 0;
  }
  return admitted;
}

// The Start menu's folders as the shell names them, from shell32 of the
// system directory.
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

// Shortcut files, made by the shell's own link object and saved through its
// IPersistFile.
//
// On Windows Vista with the update that brings SetDefaultDllDirectories,
// creating the link object through COM is reported to fail once the loader
// settings (loader/) are in force. Rather than give those up, a failed
// CoCreateInstance is followed by the link object's class factory from
// shell32 itself, the shell32 loaded by its full path from the system
// directory, where the link object is implemented on every Windows.
namespace {

// The exact type of a COM server's DllGetClassObject.
typedef HRESULT(WINAPI* DllGetClassObjectFn)(REFCLSID classId, REFIID interfaceId, LPVOID* object);

WCHAR wideLinkPath[kShellPathSize];

IShellLinkA* CreateShellLink(const ComRuntime* com) {
  IShellLinkA* link = nullptr;
  if (SUCCEEDED(com->coCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, reinterpret_cast<void**>(&link)))) {
    return link;
  }
  FARPROC found;
  IClassFactory* factory = nullptr;
  if (!LookUpAll("shell32.dll", "DllGetClassObject", &found, 1) ||
      FAILED(As<DllGetClassObjectFn>(found)(CLSID_ShellLink, IID_IClassFactory,
                                            reinterpret_cast<void**>(&factory)))) {
    return nullptr;
  }
  if (FAILED(factory->CreateInstance(nullptr, IID_IShellLinkA, reinterpret_cast<void**>(&link)))) {
    link = nullptr;
  }
  factory->Release();
  return link;
}

}  // namespace

int MakeShellLink(const char* linkPath, const char* target, const char* workingDirectory) {
  ComRuntime com;
  if (!WidenText(linkPath, wideLinkPath, kShellPathSize) || !StartCom(&com)) return 0;
  int saved = 0;
  IShellLinkA* link = CreateShellLink(&com);
  IPersistFile* file = nullptr;
  if (link != nullptr && SUCCEEDED(link->SetPath(target)) &&
      SUCCEEDED(link->SetWorkingDirectory(workingDirectory)) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    saved = SUCCEEDED(file->Save(wideLinkPath, TRUE)) ? 1 : 0;
  }
  IUnknown* const used[] = {file, link};
  ReleaseAll(used, 2);
  StopCom(&com);
  return saved;
}

// Starting a program as the desktop's user. An elevated setup's own token
// would give the product administrator's rights, files owned by the
// administrators and, after over-the-shoulder elevation, another account.
// The desktop's Explorer runs with the user's own token, so the program is
// handed to Explorer: its desktop window's folder view (IShellWindows with
// SWC_DESKTOP, the top-level browser's active shell view) leads to the
// shell's automation object in Explorer's process, whose
// IShellDispatch2::ShellExecute starts the program there.
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

// The home folders. The desktop's user is asked of the desktop's Explorer,
// by the route the start above takes: the shell's profile folder
// (ssfPROFILE) there is that of the user Explorer runs as. (Opening
// Explorer's token instead needs the debug privilege when Explorer belongs
// to another account.) Names are read whole as wide text and converted to
// the ANSI code page only where it spells every character.
namespace {

WCHAR wideFolder[kDataDirSize];
WCHAR wideOwn[kDataDirSize];
WCHAR wideDrive[kDataDirSize];
WCHAR widePath[kDataDirSize];
WCHAR wideShort[kDataDirSize];
char folderText[kDataDirSize];
char shortText[kDataDirSize];

// Converts `wide` into the ANSI code page (kDataDirSize bytes): 1, or 0 when
// it does not fit or a character has no exact counterpart there (neither a
// best fit nor the default character is taken). A UTF-8 code page spells
// every character, and takes neither the flag nor the report.
int Narrow(const WCHAR* wide, char* text) {
  BOOL lossy = FALSE;
  bool utf8 = GetACP() == CP_UTF8;
  int length = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, wide, -1, text,
                                   kDataDirSize, nullptr, utf8 ? nullptr : &lossy);
  return length > 0 && !lossy ? 1 : 0;
}

// Reads the variable `name` whole into `value` (kDataDirSize characters): 1;
// 0 when it is not set; -1 when it is longer. `value` is empty unless 1.
int ReadVariable(const WCHAR* name, WCHAR* value) {
  DWORD length = GetEnvironmentVariableW(name, value, kDataDirSize);
  if (length == 0 || length >= static_cast<DWORD>(kDataDirSize)) value[0] = L'\0';
  return length == 0 ? 0 : (length < static_cast<DWORD>(kDataDirSize) ? 1 : -1);
}

// The folder in wideFolder as `home`: its name in the ANSI code page, else
// its short name there; none when the volume made no short name (the long
// name then comes back) or it does not fit.
void Spell(HomeFolder* home) {
  DWORD length = GetShortPathNameW(wideFolder, wideShort, kDataDirSize);
  int spelt = Narrow(wideFolder, folderText);
  if (spelt || length == 0 || length >= static_cast<DWORD>(kDataDirSize) ||
      !Narrow(wideShort, shortText)) {
    shortText[0] = '\0';
  }
  *home = HomeFolder{1, spelt, "", folderText, shortText};
}

// The profile folder of the desktop's user into wideFolder: 1, or 0 when
// no shell runs (COM would start one) or a call is refused.
int DesktopProfile() {
  FARPROC found;
  ComRuntime com;
  if (GetShellWindow() == nullptr || !LookUpAll("oleaut32.dll", "SysFreeString", &found, 1) ||
      !StartCom(&com)) {
    return 0;
  }
  IUnknown* way[4] = {};
  IShellDispatch2* shell = DesktopShell(&com);
  Folder* folder = nullptr;
  FolderItem* item = nullptr;
  BSTR path = nullptr;
  VARIANT which = {};
  which.vt = VT_I4;
  which.lVal = ssfPROFILE;
  bool got = (way[0] = shell) != nullptr && shell->NameSpace(which, &folder) == S_OK &&
             (way[1] = folder) != nullptr &&
             SUCCEEDED(folder->QueryInterface(IID_Folder2, reinterpret_cast<void**>(&way[2]))) &&
             SUCCEEDED(static_cast<Folder2*>(way[2])->get_Self(&item)) &&
             (way[3] = item) != nullptr && SUCCEEDED(item->get_Path(&path)) && path != nullptr &&
             lstrlenW(path) < kDataDirSize;
  if (got) lstrcpynW(wideFolder, path, kDataDirSize);
  As<SysFreeStringFn>(found)(path);
  ReleaseAll(way, 4);
  StopCom(&com);
  return got ? 1 : 0;
}

}  // namespace

void LookUpHomeFolders(HomeFolders* homes) {
  homes->desktopUser.found = 0;
  // Another user's desktop: its profile folder is not this process's own.
  if (DesktopProfile() && ReadVariable(L"USERPROFILE", wideOwn) == 1 &&
      lstrcmpiW(wideFolder, wideOwn) != 0) {
    Spell(&homes->desktopUser);
    return;
  }
  // %HOMEDRIVE%%HOMEPATH%, drive C: when not set; a path that begins with a
  // drive takes no other. A variable too long for the buffer names nothing.
  int drive = ReadVariable(L"HOMEDRIVE", wideDrive);
  int path = ReadVariable(L"HOMEPATH", widePath);
  const WCHAR* prefix =
      widePath[0] != L'\0' && widePath[1] == L':' ? L"" : (drive ? wideDrive : L"C:");
  int prefixLength = lstrlenW(prefix);
  wideFolder[0] = L'\0';
  if (drive >= 0 && path >= 0 && prefixLength + lstrlenW(widePath) < kDataDirSize) {
    lstrcpynW(wideFolder, prefix, kDataDirSize);
    lstrcpynW(wideFolder + prefixLength, widePath, kDataDirSize - prefixLength);
  }
  Spell(&homes->variables);
  homes->variables.spelt &= wideFolder[0] != L'\0';
}
