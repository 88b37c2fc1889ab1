// Closing running copies of the product. A window is a running copy's when
// its title begins with appName and its program runs from mainExeName: WM_QUIT
// skips a program's own prompts, so unrelated programs whose window happens
// to carry the product's name (a document, a folder) are left alone.
#include <windows.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <string.h>

#include "desktop/running_copies.h"
#include "config/setup_config.h"

namespace {

const char kWarningFormat[] =
    "Any copies of %s currently running must now be shut down. This may take a few seconds.";
const int kWarningSize = 1024;
// Every configured name fits whole; the fixed text below is for a record
// built some other way.
static_assert(sizeof kWarningFormat + kConfigNameSize <= kWarningSize,
              "the warning must hold the longest configured name");
// The warning for an application name too long to fit in.
const char kWarningText[] =
    "Any running copies of the application must now be shut down. This may take a few seconds.";
const DWORD kPauseMs = 4000;

char ToLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(const char* a, const char* b) {
  while (*a != '\0' && ToLowerAscii(*a) == ToLowerAscii(*b)) {
    ++a;
    ++b;
  }
  return *a == '\0' && *b == '\0';
}

// The file name part of a path; snapshots may report a bare name or a path.
const char* BaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') base = p + 1;
  }
  return base;
}

}  // namespace

bool TitleMarksRunningCopy(const char* title, const char* appName) {
  return strncmp(title, appName, strlen(appName)) == 0;
}

bool WindowOwnedByExecutable(HWND window, const char* exeName) {
  DWORD processId = 0;
  if (GetWindowThreadProcessId(window, &processId) == 0) return false;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  bool owned = false;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ProcessID == processId) {
      owned = EqualsIgnoringCase(BaseName(entry.szExeFile), exeName);
      break;
    }
  }
  CloseHandle(snapshot);
  return owned;
}

BOOL CALLBACK CloseCopyEnumProc(HWND window, LPARAM) {
  static char title[kWindowTitleSize];
  title[0] = '\0';
  GetWindowTextA(window, title, kWindowTitleSize);
  if (TitleMarksRunningCopy(title, SetupConfig.appName) &&
      WindowOwnedByExecutable(window, SetupConfig.mainExeName)) {
    PostMessageA(window, WM_QUIT, 0, 0);
  }
  return TRUE;
}

void CloseRunningCopies() {
  static char warning[kWarningSize];
  int length = snprintf(warning, sizeof warning, kWarningFormat, SetupConfig.appName);
  const char* shown = (length >= 0 && length < kWarningSize) ? warning : kWarningText;
  MessageBoxA(nullptr, shown, "Closing Running Copies", MB_OK | MB_ICONWARNING);
  Sleep(kPauseMs);
  EnumWindows(CloseCopyEnumProc, 0);
  Sleep(kPauseMs);
}
