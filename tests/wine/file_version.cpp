// A test helper: prints the version resource of the file named by its first
// argument as Windows' own version functions read it, one "name=value" a
// line: FILEVERSION, PRODUCTVERSION, the first Translation entry and the
// strings of the table that entry names. Exits with 1 when there is none.
#include <windows.h>
#include <stdio.h>

namespace {

const DWORD kVersionInfoSize = 16384;  // far more than eight strings need
const int kQuerySize = 128;            // "\StringFileInfo\<translation>\<name>"
const char* const kStringNames[] = {"CompanyName",    "FileDescription",  "FileVersion",
                                    "InternalName",   "OriginalFilename", "ProductName",
                                    "ProductVersion", "LegalCopyright"};
char versionInfo[kVersionInfoSize];

void PrintVersion(const char* name, DWORD high, DWORD low) {
  printf("%s=%d.%d.%d.%d\n", name, HIWORD(high), LOWORD(high), HIWORD(low), LOWORD(low));
}

}  // namespace

int main(int argc, char** argv) {
  DWORD unused = 0;
  DWORD size = argc < 2 ? 0 : GetFileVersionInfoSizeA(argv[1], &unused);
  void* value = nullptr;
  UINT length = 0;
  if (size == 0 || size > kVersionInfoSize || !GetFileVersionInfoA(argv[1], 0, size, versionInfo) ||
      !VerQueryValueA(versionInfo, "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
    printf("no version resource (%d bytes)\n", static_cast<int>(size));
    return 1;
  }
  const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  PrintVersion("FILEVERSION", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
  PrintVersion("PRODUCTVERSION", fixed->dwProductVersionMS, fixed->dwProductVersionLS);
  if (!VerQueryValueA(versionInfo, "\\VarFileInfo\\Translation", &value, &length) || length < 4) {
    printf("Translation=(none)\n");
    return 1;
  }
  const WORD* translation = static_cast<const WORD*>(value);
  printf("Translation=%04x %04x\n", translation[0], translation[1]);
  for (const char* name : kStringNames) {
    char query[kQuerySize];
    int n = snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translation[0],
                     translation[1], name);
    bool found = n >= 0 && n < kQuerySize && VerQueryValueA(versionInfo, query, &value, &length);
    printf("%s=%s\n", name, found && length > 0 ? static_cast<const char*>(value) : "(none)");
  }
  return 0;
}
