// Shortcut files, made by the shell's own link object and saved through its
// IPersistFile.
//
// On Windows Vista with the update that brings SetDefaultDllDirectories,
// creating the link object through COM is reported to fail once the loader
// settings (loader/) are in force. Rather than give those up, a failed
// CoCreateInstance is followed by the link object's class factory from
// shell32 itself, the shell32 loaded by its full path from the system
// directory, where the link object is implemented on every Windows.
#include <windows.h>
#include <shlobj.h>

#include "desktop/com_runtime.h"
#include "desktop/shell.h"
#include "desktop/system_library.h"

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
