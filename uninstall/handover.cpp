// The hand-over to a copy in the temporary directory. The copy inherits a
// handle to the first process, so it waits for exactly that process, and it
// runs in the temporary directory, so it holds no file of the installation.
// A copy acts without asking only when it can prove it is such a copy: a
// command line alone proves nothing, since anyone can type one.
#include <windows.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <string.h>

#include "uninstall/uninstall.h"

namespace {

// Room for the temporary directory and for a name GetTempFileNameA makes in
// it (at most MAX_PATH characters).
const int kTempPathSize = kDataDirSize;
static_assert(kTempPathSize >= MAX_PATH, "GetTempFileNameA writes MAX_PATH characters");
// The copy's quoted name, the handle in decimal and the directory.
const int kCommandLineSize = kTempPathSize + 32 + kDataDirSize;
// What the copy may do with its handle to the first process: wait for it,
// and learn which process it is.
const DWORD kFirstProcessAccess = SYNCHRONIZE | PROCESS_QUERY_INFORMATION;

char ownPath[kDataDirSize];
char tempDirectory[kTempPathSize];
char copyPath[kTempPathSize];
char commandLine[kCommandLineSize];

bool HaveOwnPath() {
  DWORD length = GetModuleFileNameA(nullptr, ownPath, kDataDirSize);
  return length != 0 && length < static_cast<DWORD>(kDataDirSize);
}

bool HaveTempDirectory() {
  DWORD length = GetTempPathA(kTempPathSize, tempDirectory);
  return length != 0 && length < static_cast<DWORD>(kTempPathSize);
}

// Makes copyPath a copy of the running program under a fresh name.
bool MakeCopy() {
  if (!HaveTempDirectory()) return false;
  if (GetTempFileNameA(tempDirectory, "uns", 0, copyPath) == 0) return false;
  if (CopyFileA(ownPath, copyPath, FALSE)) return true;
  DeleteFileA(copyPath);
  return false;
}

// The process that started this one, as the system recorded it; 0 when it
// cannot be told.
DWORD ParentProcessId() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  DWORD self = GetCurrentProcessId();
  DWORD parent = 0;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ProcessID == self) {
      parent = entry.th32ParentProcessID;
      break;
    }
  }
  CloseHandle(snapshot);
  return parent;
}

// Whether the running program's own file lies in the temporary directory.
bool RunsFromTempDirectory() {
  if (!HaveOwnPath() || !HaveTempDirectory()) return false;
  char* lastSeparator = strrchr(ownPath, '\\');
  if (lastSeparator == nullptr) return false;
  *lastSeparator = '\0';
  return SameDirectory(ownPath, tempDirectory) != 0;
}

}  // namespace

int HandOverToCopy(const char* directory) {
  if (!HaveOwnPath() || !MakeCopy()) return 0;
  HANDLE self = nullptr;
  HANDLE process = GetCurrentProcess();
  if (!DuplicateHandle(process, process, process, &self, kFirstProcessAccess, TRUE, 0)) {
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
  // The copy inherits the handle to this process and the uninstall lock.
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
  // A number too large for a handle is no handle: it must not wrap around
  // to a small one, nor saturate to the pseudo handle of this process.
  const ULONG_PTR kLargest = ~static_cast<ULONG_PTR>(0);
  ULONG_PTR handle = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    ULONG_PTR digit = static_cast<ULONG_PTR>(*p - '0');
    if (handle > (kLargest - digit) / 10) return 0;
    handle = handle * 10 + digit;
  }
  if (*p != ' ') return 0;
  const char* rest = p + 1;
  size_t length = strlen(rest);
  if (length == 0 || length >= static_cast<size_t>(size)) return 0;
  memcpy(directory, rest, length + 1);
  *firstProcess = reinterpret_cast<HANDLE>(handle);
  return 1;
}

int IsTrustedHandOver(HANDLE firstProcess) {
  // GetProcessId fails for any handle that is not one to a process, such
  // as another waitable object that happens to bear the number.
  DWORD firstProcessId = GetProcessId(firstProcess);
  if (firstProcessId == 0 || firstProcessId != ParentProcessId()) return 0;
  return RunsFromTempDirectory() ? 1 : 0;
}

void MarkOwnFileForDeletion() {
  // Only possible where the user may schedule it; a refusal changes nothing.
  if (HaveOwnPath()) MoveFileExA(ownPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}
