// The hand-over to a copy in the temporary directory. The copy inherits a
// handle to the first process, so it waits for exactly that process, and
// the first process's hold on the installation directory, so the directory
// stays the one the user was asked about; it runs in the temporary
// directory, so it holds no file of the installation.
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
// The copy's quoted name, two handles in decimal and the directory.
const int kCommandLineSize = kTempPathSize + 64 + kDataDirSize;
// What the copy may do with its handle to the first process: wait for it,
// and learn which process it is.
const DWORD kFirstProcessAccess = SYNCHRONIZE | PROCESS_QUERY_INFORMATION;

char ownPath[kDataDirSize];
char tempDirectory[kTempPathSize];
char copyPath[kTempPathSize];
char commandLine[kCommandLineSize];
char shownTempDirectory[kTempPathSize];

bool HaveOwnPath() {
  DWORD length = GetModuleFileNameA(nullptr, ownPath, kDataDirSize);
  return length != 0 && length < static_cast<DWORD>(kDataDirSize);
}

bool HaveTempDirectory() {
  DWORD length = GetTempPathA(kTempPathSize, tempDirectory);
  return length != 0 && length < static_cast<DWORD>(kTempPathSize);
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

// Reads the decimal number of a handle at `p`: the character after it, or
// null when there is no number or it does not fit a handle. A number too
// large must not wrap around to a small one, nor saturate to the pseudo
// handle of this process.
const char* ParseHandle(const char* p, ULONG_PTR* handle) {
  if (*p < '0' || *p > '9') return nullptr;
  const ULONG_PTR kLargest = ~static_cast<ULONG_PTR>(0);
  *handle = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    ULONG_PTR digit = static_cast<ULONG_PTR>(*p - '0');
    if (*handle > (kLargest - digit) / 10) return nullptr;
    *handle = *handle * 10 + digit;
  }
  return p;
}

}  // namespace

int MakeCopy() {
  if (!HaveOwnPath()) return 0;
  if (!HaveTempDirectory()) {
    tempDirectory[0] = '\0';
    return 0;
  }
  if (GetTempFileNameA(tempDirectory, "uns", 0, copyPath) == 0) return 0;
  if (CopyFileA(ownPath, copyPath, FALSE)) return 1;
  DeleteFileA(copyPath);
  return 0;
}

const char* CopyDirectory() {
  // Shown without its trailing separator, as the other directories are.
  memcpy(shownTempDirectory, tempDirectory, sizeof shownTempDirectory);
  shownTempDirectory[kTempPathSize - 1] = '\0';
  size_t length = strlen(shownTempDirectory);
  bool root = length == 3 && shownTempDirectory[1] == ':';
  if (length > 1 && !root && shownTempDirectory[length - 1] == '\\') {
    shownTempDirectory[length - 1] = '\0';
  }
  return shownTempDirectory;
}

int StartCopy(const char* directory) {
  HANDLE self = nullptr;
  HANDLE process = GetCurrentProcess();
  if (!DuplicateHandle(process, process, process, &self, kFirstProcessAccess, TRUE, 0)) {
    DeleteFileA(copyPath);
    return 0;
  }
  int n = snprintf(commandLine, sizeof commandLine, "\"%s\" %lu %lu %s", copyPath,
                   static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(self)),
                   static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(HeldInstallDirectory())),
                   directory);
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started;
  memset(&started, 0, sizeof started);
  // The copy inherits the handle to this process, the held directory and
  // the uninstall lock.
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

int ParseHandOver(const char* commandLine, HandOver* handOver, char* directory, int size) {
  const char* p = commandLine;
  while (*p == ' ' || *p == '\t') ++p;
  ULONG_PTR numbers[2];
  for (ULONG_PTR& number : numbers) {
    p = ParseHandle(p, &number);
    if (p == nullptr || *p != ' ') return 0;
    ++p;
  }
  size_t length = strlen(p);
  if (length == 0 || length >= static_cast<size_t>(size)) return 0;
  memcpy(directory, p, length + 1);
  handOver->firstProcess = reinterpret_cast<HANDLE>(numbers[0]);
  handOver->heldDirectory = reinterpret_cast<HANDLE>(numbers[1]);
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
