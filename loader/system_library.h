// DLLs of the system directory, loaded by their full path, and the functions
// looked up in them. The program imports only KERNEL32, USER32 and msvcrt;
// everything else it may use is found this way, so a Windows without it
// still runs the program. Loading and looking up are the Windows build's
// (system_library.cpp); As is for both.
#ifndef TIDEWELL_LOADER_SYSTEM_LIBRARY_H
#define TIDEWELL_LOADER_SYSTEM_LIBRARY_H

#include <windows.h>

// Loads the DLL `name` from the system directory, never from the program's
// own or the current directory: the module, or null.
HMODULE LoadSystemLibrary(const char* name);

// Looks up `count` functions of the system directory's DLL `library` into
// `found`; `names` holds their names one after the other, each ending in
// NUL. 1 when the DLL and every function were found.
int LookUpAll(const char* library, const char* names, FARPROC* found, int count);

// A looked-up function as the function pointer type `Function`, which
// states its exact type, calling convention included.
template <typename Function>
Function As(FARPROC found) {
  // FARPROC takes no arguments; the cast goes through void (*)(), the one
  // function pointer type that converts to any other without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

#endif  // TIDEWELL_LOADER_SYSTEM_LIBRARY_H
