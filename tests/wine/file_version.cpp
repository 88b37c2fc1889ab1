// A test helper: prints the version resource of the file named by its first
// argument as Windows' own version functions read it, one "name=value" a
// line: FILEVERSION and PRODUCTVERSION of the fixed part, the first
// Translation entry, and the strings of the table that entry names. Exits
// with 1 when the file has no version resource that it can read.
#include <windows.h>
#include <stdio.h>

namespace {

// More than a version resource with eight strings needs.
const DWORD kVersionInfoSize = 16384;
// "\StringFileInfo\<language><code page>\<name>".
const int kQuerySize = 128;

const char* const kStringNames[] = {"CompanyName",    "FileDescription",  "FileVersion",
                                    "InternalName",   "OriginalFilename", "ProductName",
                                    "ProductVersion", "LegalCopyright"};

char versionInfo[kVersionInfoSize];

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  DWORD unused = 0;
  DWORD size = GetFileVersionInfoSizeA(argv[1], &unused);
  if (size == 0 || size > kVersionInfoSize || !GetFileVersionInfoA(argv[1], 0, size, versionInfo)) {
    printf("no version resource: GetFileVersionInfoSizeA gave %d\n", static_cast<int>(size));
    return 1;
  }
  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueA(versionInfo, "\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    printf("FILEVERSION=%d.%d.%d.%d\n", HIWORD(fixed->dwFileVersionMS),
           LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
           LOWORD(fixed->dwFileVersionLS));
    printf("PRODUCTVERSION=%d.%d.%d.%d\n", HIWORD(fixed->dwProductVersionMS),
           LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
           LOWORD(fixed->dwProductVersionLS));
  }
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
    if (n >= 0 && n < kQuerySize && VerQueryValueA(versionInfo, query, &value, &length) &&
        length > 0) {
      printf("%s=%s\n", name, static_cast<const char*>(value));
    } else {
      printf("%s=(none)\n", name);
    }
  }
  return 0;
}
