// COM for the shell objects, from ole32 of the system directory.
#include "desktop/com_runtime.h"
#include "desktop/system_library.h"

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

void StopCom(const ComRuntime* com) {
  if (SUCCEEDED(com->initialized)) com->coUninitialize();
}

void ReleaseAll(IUnknown* const* objects, int count) {
  for (int i = 0; i < count; ++i) {
    if (objects[i] != nullptr) objects[i]->Release();
  }
}

int WidenText(const char* text, WCHAR* wide, int size) {
  return MultiByteToWideChar(CP_ACP, 0, text, -1, wide, size) > 0 ? 1 : 0;
}
