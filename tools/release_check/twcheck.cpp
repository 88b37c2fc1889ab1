// twcheck: the helper of the Windows release check (docs/windows-release-check.md).
//
// A console program for Windows 10 and 11 that makes the check's steps exact:
// it says which account and integrity level a prompt runs at, tries Program
// Manager's DDE server with and without the message filter that the setup
// opens, holds a file open the way another program would, keeps a program
// running without a window, lists a folder with what a look at it cannot
// tell (links, junctions, cloud files, link counts, contents), marks a file
// as downloaded, and records a data directory in the profile as the setup
// does. It is no part of the product and is not installed.
#include <windows.h>
#include <ddeml.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: twcheck <command> [arguments]\n"
    "  whoami                     this prompt's user, elevation, integrity level and home folder\n"
    "  progman [--no-filter]      a group and an item made and removed by Program Manager over\n"
    "                             DDE; --no-filter leaves the DDE replies out of the message "
    "filter\n"
    "  hold <file>                holds <file> open (others may read it; nobody may write, rename\n"
    "                             or delete it) until Enter\n"
    "  suspended <program>        starts <program> suspended (running, no window) until Enter\n"
    "  snapshot [--read] <folder> every entry below <folder>: kind, attributes, reparse tag,\n"
    "                             file id, links, size and a hash of the contents (--read: of\n"
    "                             cloud files too, which downloads them)\n"
    "  mark-downloaded <file>     gives <file> the mark of a download from the Internet\n"
    "  record-dir <directory>     records <directory> as the data directory in tidewell.ini,\n"
    "                             as the setup does\n";

// The profile's section and entry that name the data directory, and its
// file in the Windows directory, as the setup writes them.
const char kProfileName[] = "tidewell.ini";
const char kProfileSection[] = "Options";
const char kProfileKey[] = "dataDir";

// Program Manager's group and item that `progman` makes and removes again.
const char kCheckGroup[] = "TidewellCheck";
const char kCheckItem[] = "TidewellCheck";
const DWORD kExecuteTimeoutMs = 2000;

// Reparse tags: a junction, a symbolic link, and a cloud file's (any of
// IO_REPARSE_TAG_CLOUD and IO_REPARSE_TAG_CLOUD_1 to _F, bits 12 to 15 free).
const DWORD kTagMountPoint = 0xA0000003;
const DWORD kTagSymlink = 0xA000000C;
const DWORD kTagCloudMask = 0xFFFF0FFF;
const DWORD kTagCloud = 0x9000001A;
// A tag whose reparse point names another place (a link), bit 29.
const DWORD kTagNameSurrogate = 0x20000000;
// The attributes of a cloud file whose contents are not on the disk.
const DWORD kNotLocal = FILE_ATTRIBUTE_OFFLINE | 0x00040000 /* RECALL_ON_OPEN */ |
                        0x00400000 /* RECALL_ON_DATA_ACCESS */;

// Prints the last error after `what`, and returns 1 (the exit status).
int Fail(const char* what) {
  DWORD error = GetLastError();
  char text[512] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 text, sizeof text, nullptr);
  for (size_t n = strlen(text); n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n'); --n) {
    text[n - 1] = '\0';
  }
  printf("twcheck: %s: error %lu: %s\n", what, static_cast<unsigned long>(error), text);
  return 1;
}

void WaitForEnter() {
  char line[64];
  if (fgets(line, sizeof line, stdin) == nullptr) Sleep(INFINITE);
}

// A 64-bit number in decimal; the C runtime's formats have no portable one.
std::string Decimal(unsigned long long value) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  std::string text;
  while (n > 0) text += digits[--n];
  return text;
}

// The same in 16 hexadecimal digits.
std::string Hex64(unsigned long long value) {
  char text[20];
  snprintf(text, sizeof text, "%08lx%08lx", static_cast<unsigned long>(value >> 32),
           static_cast<unsigned long>(value & 0xFFFFFFFFu));
  return text;
}

// whoami: which account, elevation and integrity level this prompt has,
// and the home folder its variables name.
int WhoAmI() {
  char user[256] = "?";
  DWORD userSize = sizeof user;
  GetUserNameA(user, &userSize);
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return Fail("OpenProcessToken");
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                  elevation.TokenIsElevated != 0;
  // A TOKEN_MANDATORY_LABEL and the SID it points to, behind it.
  union {
    TOKEN_MANDATORY_LABEL label;
    unsigned char bytes[64];
  } mandatory;
  DWORD level = 0;
  if (GetTokenInformation(token, TokenIntegrityLevel, &mandatory, sizeof mandatory, &size)) {
    PSID sid = mandatory.label.Label.Sid;
    level = *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1);
  }
  CloseHandle(token);
  const char* levelName = level >= SECURITY_MANDATORY_SYSTEM_RID   ? "system"
                          : level >= SECURITY_MANDATORY_HIGH_RID   ? "high"
                          : level >= SECURITY_MANDATORY_MEDIUM_RID ? "medium"
                                                                   : "low";
  char profile[MAX_PATH] = "", drive[MAX_PATH] = "", path[MAX_PATH] = "";
  GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH);
  GetEnvironmentVariableA("HOMEDRIVE", drive, MAX_PATH);
  GetEnvironmentVariableA("HOMEPATH", path, MAX_PATH);
  printf("user:            %s\n", user);
  printf("elevated:        %s\n", elevated ? "yes" : "no");
  printf("integrity level: %s (0x%lx)\n", levelName, static_cast<unsigned long>(level));
  printf("USERPROFILE:     %s\n", profile);
  printf("HOMEDRIVE+PATH:  %s%s\n", drive, path);
  return 0;
}

// progman: the DDE conversation of the setup's registration, with a group
// and an item of the check's own, made and removed again.
DWORD ddeInstance = 0;

HDDEDATA CALLBACK DdeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  return nullptr;
}

// Sends one command in a conversation of its own, as the setup does, and
// prints how Program Manager took it: true when it was acknowledged.
bool Execute(const char* command) {
  HSZ service = DdeCreateStringHandleA(ddeInstance, "PROGMAN", 0);
  HSZ topic = DdeCreateStringHandleA(ddeInstance, "PROGMAN", 0);
  HCONV conversation = DdeConnect(ddeInstance, service, topic, nullptr);
  const char* outcome = "no server (no conversation was made)";
  bool acknowledged = false;
  if (conversation != nullptr) {
    DWORD result = 0;
    LPBYTE bytes = reinterpret_cast<LPBYTE>(const_cast<char*>(command));
    if (DdeClientTransaction(bytes, static_cast<DWORD>(strlen(command) + 1), conversation, nullptr,
                             CF_TEXT, XTYP_EXECUTE, kExecuteTimeoutMs, &result) != nullptr) {
      acknowledged = (result & DDE_FACK) != 0;
      outcome = acknowledged ? "acknowledged" : "refused";
    } else {
      outcome = DdeGetLastError(ddeInstance) == DMLERR_EXECACKTIMEOUT ? "timed out" : "refused";
    }
    DdeDisconnect(conversation);
  }
  DdeFreeStringHandle(ddeInstance, service);
  DdeFreeStringHandle(ddeInstance, topic);
  printf("  %-60s %s\n", command, outcome);
  return acknowledged;
}

int Progman(bool filter) {
  typedef BOOL(WINAPI * ChangeFilterFn)(UINT message, DWORD flag);
  const DWORD kMessageFilterAdd = 1;  // MSGFLT_ADD
  WhoAmI();
  if (filter) {
    ChangeFilterFn change = reinterpret_cast<ChangeFilterFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "ChangeWindowMessageFilter")));
    if (change == nullptr) {
      printf("message filter:  ChangeWindowMessageFilter not found; nothing let through\n");
    } else {
      bool admitted = change(WM_DDE_ACK, kMessageFilterAdd) != 0;
      admitted = change(WM_DDE_TERMINATE, kMessageFilterAdd) != 0 && admitted;
      printf("message filter:  WM_DDE_ACK and WM_DDE_TERMINATE %s\n",
             admitted ? "let through" : "NOT let through");
    }
  } else {
    printf("message filter:  left as it is (--no-filter)\n");
  }
  if (DdeInitializeA(&ddeInstance, DdeCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
    return Fail("DdeInitializeA");
  }
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  char command[MAX_PATH + 128];
  printf("Program Manager:\n");
  snprintf(command, sizeof command, "[CreateGroup(%s)]", kCheckGroup);
  bool all = Execute(command);
  snprintf(command, sizeof command, "[AddItem(\"%s\",%s)]", exe, kCheckItem);
  all = Execute(command) && all;
  snprintf(command, sizeof command, "[DeleteItem(%s)]", kCheckItem);
  all = Execute(command) && all;
  snprintf(command, sizeof command, "[DeleteGroup(%s)]", kCheckGroup);
  all = Execute(command) && all;
  DdeUninitialize(ddeInstance);
  printf("%s\n", all ? "every command acknowledged"
                     : "NOT every command acknowledged (a group \"TidewellCheck\" left in the "
                       "Start menu can be deleted by hand)");
  return all ? 0 : 1;
}

// hold: the file open for reading, as another program may hold it: others
// may read it, nobody may write, rename or delete it.
int Hold(const char* file) {
  HANDLE held = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return Fail(file);
  printf("holding %s (others may read it; nobody may write, rename or delete it).\n", file);
  printf("Press Enter to let it go.\n");
  WaitForEnter();
  CloseHandle(held);
  printf("let go\n");
  return 0;
}

// suspended: the program started and never resumed: its file is a running
// program's, and it shows no window that a setup could ask to quit. A job
// ends it with this program, however this program ends.
int Suspended(const char* program) {
  std::string commandLine = std::string("\"") + program + "\"";
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job == nullptr ||
      !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    return Fail("CreateJobObjectA");
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(program, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      nullptr, &startup, &process)) {
    return Fail(program);
  }
  if (!AssignProcessToJobObject(job, process.hProcess)) {
    TerminateProcess(process.hProcess, 1);
    return Fail("AssignProcessToJobObject");
  }
  printf("%s runs suspended as process %lu, with no window.\n", program,
         static_cast<unsigned long>(process.dwProcessId));
  printf("Press Enter to end it.\n");
  WaitForEnter();
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(job);
  printf("ended\n");
  return 0;
}

// snapshot: one line per entry, in name order, so that two snapshots of the
// same folder compare line by line (fc).
const char* KindOf(const WIN32_FIND_DATAA& found) {
  bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return folder ? "dir" : "file";
  DWORD tag = found.dwReserved0;
  if (tag == kTagMountPoint) return "junction";
  if (tag == kTagSymlink) return folder ? "dir-symlink" : "symlink";
  if ((tag & kTagCloudMask) == kTagCloud) return folder ? "cloud-dir" : "cloud-file";
  return folder ? "dir-reparse" : "file-reparse";
}

// Appends the hash (FNV-1a, 64 bits) of the file's contents, or why not.
void AppendContents(const char* path, bool follow, std::string* line) {
  HANDLE file =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *line += "  fnv=(cannot be read: error " + Decimal(GetLastError()) + ")";
    return;
  }
  unsigned long long hash = 14695981039346656037ull;
  static unsigned char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    for (DWORD i = 0; i < got; ++i) hash = (hash ^ buffer[i]) * 1099511628211ull;
  }
  CloseHandle(file);
  *line += "  fnv=" + Hex64(hash);
}

// The line of one entry: `name` is its path below the snapshot's folder.
std::string Describe(const std::string& path, const std::string& name,
                     const WIN32_FIND_DATAA& found, bool read) {
  char attributes[48];
  snprintf(attributes, sizeof attributes, "  attr=%08lx",
           static_cast<unsigned long>(found.dwFileAttributes));
  std::string line = name + "  " + KindOf(found) + attributes;
  bool reparse = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (reparse) {
    char tag[24];
    snprintf(tag, sizeof tag, "  tag=%08lx", static_cast<unsigned long>(found.dwReserved0));
    line += tag;
  }
  if ((found.dwFileAttributes & kNotLocal) != 0) line += "  online-only";
  // Opened for its attributes only, as itself: no link is followed and no
  // cloud file is downloaded.
  HANDLE file = CreateFileA(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  BY_HANDLE_FILE_INFORMATION information;
  if (file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &information)) {
    char identity[64];
    snprintf(identity, sizeof identity, "  id=%08lx-%08lx%08lx  links=%lu",
             static_cast<unsigned long>(information.dwVolumeSerialNumber),
             static_cast<unsigned long>(information.nFileIndexHigh),
             static_cast<unsigned long>(information.nFileIndexLow),
             static_cast<unsigned long>(information.nNumberOfLinks));
    line += identity;
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return line;
  line += "  size=" + Decimal((static_cast<unsigned long long>(found.nFileSizeHigh) << 32) |
                              found.nFileSizeLow);
  bool cloud = reparse && (found.dwReserved0 & kTagCloudMask) == kTagCloud;
  if (reparse && !(cloud && read)) {
    line += "  fnv=(not read: a reparse point; --read reads cloud files)";
  } else {
    AppendContents(path.c_str(), cloud, &line);
  }
  return line;
}

bool ByName(const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b) {
  return strcmp(a.cFileName, b.cFileName) < 0;
}

// Lists `folder` and, in turn, every real folder below it (never what a
// link leads to). Returns the number of entries that could not be listed.
int SnapshotFolder(const std::string& folder, const std::string& prefix, bool read) {
  std::vector<WIN32_FIND_DATAA> entries;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) {
    printf("%s  (cannot be listed: error %lu)\n", prefix.empty() ? "." : prefix.c_str(),
           static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  do {
    if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0) {
      entries.push_back(found);
    }
  } while (FindNextFileA(find, &found));
  FindClose(find);
  std::sort(entries.begin(), entries.end(), ByName);
  int failed = 0;
  for (const WIN32_FIND_DATAA& entry : entries) {
    std::string path = folder + "\\" + entry.cFileName;
    std::string name = prefix.empty() ? entry.cFileName : prefix + "\\" + entry.cFileName;
    printf("%s\n", Describe(path, name, entry, read).c_str());
    bool folderEntry = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                (entry.dwReserved0 & kTagNameSurrogate) != 0;
    if (folderEntry && !link) failed += SnapshotFolder(path, name, read);
  }
  return failed;
}

int Snapshot(const char* folder, bool read) {
  std::string root = folder;
  while (root.size() > 3 && (root.back() == '\\' || root.back() == '/')) root.pop_back();
  WIN32_FIND_DATAA self;
  HANDLE find = FindFirstFileA(root.c_str(), &self);
  if (find == INVALID_HANDLE_VALUE) return Fail(folder);
  FindClose(find);
  printf("%s\n", Describe(root, ".", self, read).c_str());
  bool link = (self.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
              (self.dwReserved0 & kTagNameSurrogate) != 0;
  if (link) printf("(the folder itself is a link; listing what it leads to)\n");
  return SnapshotFolder(root, "", read) == 0 ? 0 : 1;
}

// mark-downloaded: the alternate data stream that browsers write on a
// downloaded file, zone 3 (the Internet), which SmartScreen and the
// Attachment Manager read.
int MarkDownloaded(const char* file) {
  if (GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES) return Fail(file);
  std::string stream = std::string(file) + ":Zone.Identifier";
  HANDLE out = CreateFileA(stream.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return Fail(stream.c_str());
  const char kMark[] = "[ZoneTransfer]\r\nZoneId=3\r\n";
  DWORD written = 0;
  bool ok =
      WriteFile(out, kMark, sizeof kMark - 1, &written, nullptr) && written == sizeof kMark - 1;
  ok = CloseHandle(out) && ok;
  if (!ok) return Fail(stream.c_str());
  printf("%s now carries the mark of a download from the Internet (ZoneId=3)\n", file);
  return 0;
}

// record-dir: the data directory entry, written as the setup writes it.
int RecordDirectory(const char* directory) {
  if (!WritePrivateProfileStringA(kProfileSection, kProfileKey, directory, kProfileName)) {
    return Fail("WritePrivateProfileStringA (run this from an administrator's prompt)");
  }
  char written[MAX_PATH] = "";
  GetPrivateProfileStringA(kProfileSection, kProfileKey, "", written, MAX_PATH, kProfileName);
  char windows[MAX_PATH] = "";
  GetWindowsDirectoryA(windows, MAX_PATH);
  printf("%s\\%s: [%s] %s=%s\n", windows, kProfileName, kProfileSection, kProfileKey, written);
  return strcmp(written, directory) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fputs(kUsage, stdout);
    return 2;
  }
  const char* command = argv[1];
  if (strcmp(command, "whoami") == 0 && argc == 2) return WhoAmI();
  if (strcmp(command, "progman") == 0 && argc == 2) return Progman(true);
  if (strcmp(command, "progman") == 0 && argc == 3 && strcmp(argv[2], "--no-filter") == 0) {
    return Progman(false);
  }
  if (strcmp(command, "hold") == 0 && argc == 3) return Hold(argv[2]);
  if (strcmp(command, "suspended") == 0 && argc == 3) return Suspended(argv[2]);
  if (strcmp(command, "snapshot") == 0 && argc == 3) return Snapshot(argv[2], false);
  if (strcmp(command, "snapshot") == 0 && argc == 4 && strcmp(argv[2], "--read") == 0) {
    return Snapshot(argv[3], true);
  }
  if (strcmp(command, "mark-downloaded") == 0 && argc == 3) return MarkDownloaded(argv[2]);
  if (strcmp(command, "record-dir") == 0 && argc == 3) return RecordDirectory(argv[2]);
  fputs(kUsage, stdout);
  return 2;
}
