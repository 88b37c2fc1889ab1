// The COM functions of ole32 and oleaut32, looked up in the system
// directory's DLLs. Windows build only.
#ifndef TIDEWELL_DESKTOP_COM_RUNTIME_H
#define TIDEWELL_DESKTOP_COM_RUNTIME_H

#include <windows.h>
#include <objbase.h>

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
int StartCom(ComRuntime* com);
// Undoes a successful StartCom.
void StopCom(const ComRuntime* com);
// Releases each object that is not null.
void ReleaseAll(IUnknown* const* objects, int count);
// Converts an ANSI text into `wide` (`size` characters): 1, or 0 when it
// does not fit.
int WidenText(const char* text, WCHAR* wide, int size);

#endif  // TIDEWELL_DESKTOP_COM_RUNTIME_H
