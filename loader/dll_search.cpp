// SetDefaultDllDirectories is looked up at run time rather than imported: the
// import table stays KERNEL32, USER32 and msvcrt, and a Windows without the
// function still starts the program.
#include "loader/dll_search.h"

#include <windows.h>

#include "loader/system_library.h"

namespace {

// The exact type of SetDefaultDllDirectories, calling convention included, so
// that a call through the looked-up address is checked by the compiler.
typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD directoryFlags);

}  // namespace

int RestrictDllSearch() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return 0;
  FARPROC found = GetProcAddress(kernel, "SetDefaultDllDirectories");
  if (found == nullptr) return 0;
  return As<SetDefaultDllDirectoriesFn>(found)(LOAD_LIBRARY_SEARCH_SYSTEM32) ? 1 : 0;
}
