// The hand-over to a copy in the temporary directory. The copy inherits a
// handle to the first process, so it waits for exactly that process, and it
// runs in the temporary directory, so it holds no file of the installation.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "uninstall/uninstall.h"

namespace {

// Room for the temporary directory and for a name GetTempFileNameA makes in
// it (at most MAX_PATH characters).
const int kTempPathSize = kDataDirSize;
static_assert(kTempPathSize >= MAX_PATH, "GetTempFileNameA writes MAX_PATH characters");
// The copy's quoted name, the handle in decimal and the directory.
const int kCommandLineSize = kTempPathSize + 32 + kDataDirSize;

char ownPath[kDataDirSize];
char tempDirectory[kTempPathSize];
char copyPath[kTempPathSize];
char commandLine[kCommandLineSize];

bool HaveOwnPath() {
  DWORD length = GetModuleFileNameA(nullptr, ownPath, kDataDirSize);
  return length != 0 && length < static_cast<DWORD>(kDataDirSize);
}

// Makes copyPath a copy of the running program under a fresh name.
bool MakeCopy() {
  DWORD length = GetTempPathA(kTempPathSize, tempDirectory);
  if (length == 0 || length >= static_cast<DWORD>(kTempPathSize)) return false;
  if (GetTempFileNameA(tempDirectory, "uns", 0, copyPath) == 0) return false;
  if (CopyFileA(ownPath, copyPath, FALSE)) return true;
  DeleteFileA(copyPath);
  return false;
}

}  // namespace

int HandOverToCopy(const char* directory) {
  if (!HaveOwnPath() || !MakeCopy()) return 0;
  HANDLE self = nullptr;
  HANDLE process = GetCurrentProcess();
  if (!DuplicateHandle(process, process, process, &self, SYNCHRONIZE, TRUE, 0)) {
    DeleteFileA(copyPath);
    return 0;
  }
  int n = snprintf(commandLine, sizeof commandLine, "\"%s\" %lu %s", copyPath,
                   static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(self)), directory);
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started;
  memset(&started, 0, sizeof started);
  if (n < 0 || n >= kCommandLineSize ||
      !CreateProcessA(copyPath, commandLine, nullptr, nullptr, TRUE, 0, nullptr, tempDirectory,
                      &startup, &started)) {
    CloseHandle(self);
    DeleteFileA(copyPath);
    return 0;
  }
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  // The handle to this process stays open: it ends with the process.
  return 1;
}

int ParseHandOver(const char* commandLine, HANDLE* firstProcess, char* directory, int size) {
  const char* p = commandLine;
  while (*p == ' ' || *p == '\t') ++p;
  if (*p < '0' || *p > '9') return 0;
  char* end = nullptr;
  unsigned long handle = strtoul(p, &end, 10);
  if (end == p || *end != ' ') return 0;
  const char* rest = end + 1;
  size_t length = strlen(rest);
  if (length == 0 || length >= static_cast<size_t>(size)) return 0;
  memcpy(directory, rest, length + 1);
  *firstProcess = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(handle));
  return 1;
}

void MarkOwnFileForDeletion() {
  // Only possible where the user may schedule it; a refusal changes nothing.
  if (HaveOwnPath()) MoveFileExA(ownPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}
