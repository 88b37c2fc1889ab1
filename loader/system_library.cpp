// Loading a DLL of the system directory by its full path, and looking up
// its functions (loader/system_library.h). The loader settings
// (dll_search.cpp) already keep later loads to the system directory where
// Windows allows it; a full path does the same for this DLL on a Windows
// that does not.
#include <stdio.h>
#include <string.h>

#include "loader/system_library.h"

namespace {

// The system directory, a separator and a DLL's name.
const int kLibraryPathSize = MAX_PATH + 32;
char libraryPath[kLibraryPathSize];

}  // namespace

HMODULE LoadSystemLibrary(const char* name) {
  UINT length = GetSystemDirectoryA(libraryPath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  int written = snprintf(libraryPath + length, kLibraryPathSize - length, "\\%s", name);
  if (written < 0 || written >= kLibraryPathSize - static_cast<int>(length)) return nullptr;
  // By its full path; the DLLs it depends on are found where the loader
  // settings say.
  return LoadLibraryA(libraryPath);
}

int LookUpAll(const char* library, const char* names, FARPROC* found, int count) {
  HMODULE module = LoadSystemLibrary(library);
  for (int i = 0; i < count; ++i, names += strlen(names) + 1) {
    found[i] = module != nullptr ? GetProcAddress(module, names) : nullptr;
    if (found[i] == nullptr) return 0;
  }
  return 1;
}
