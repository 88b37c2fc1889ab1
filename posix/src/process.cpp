// Processes: WinExec and CreateProcessA start a program detached from the
// calling one; a process may hand a handle to itself to the program it
// starts, which can wait for it to end; GetModuleFileNameA names the running
// program; Sleep pauses, scaled by SETUP_SLEEP_SCALE. GetModuleHandleA and
// GetProcAddress know the one module the stand-in plays, kernel32, and find
// no function in it: every function here is linked by name, so a program that
// looks one up carries on as on a Windows without it.
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <set>

#include "internal.h"

namespace standin {
namespace {

const UINT kStarted = 33;  // any value above 31 means success
// How a started program learns which process started it, and which
// process each inherited process handle stands for ("fd=pid,fd=pid").
const char kParentVariable[] = "STANDIN_PARENT_PID";
const char kHandlesVariable[] = "STANDIN_PROCESS_HANDLES";
const UINT kFileNotFound = 2;  // ERROR_FILE_NOT_FOUND

// The pseudo handle of the calling process, as on Windows.
HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

// A real handle to a process is a Linux process file descriptor, which
// becomes readable when the process ends and, like an inheritable handle,
// survives into a program started from this one. Its value is the
// descriptor plus this base, so it cannot be taken for a pointer handle.
const uintptr_t kProcessHandleBase = 0x7000;
const uintptr_t kProcessHandleLimit = kProcessHandleBase + 0x10000;

// In scripted mode process handles are numbers the stand-in hands out and
// remembers; waiting on one returns at once.
std::set<uintptr_t>& ScriptedProcessHandles() {
  static std::set<uintptr_t> handles;
  return handles;
}
uintptr_t gNextScriptedHandle = 0x100;

std::string& ModuleFileName() {
  static std::string name;
  return name;
}

// The process that started this one: set by the stand-in's main() from
// what CreateProcessA or WinExec handed over, or by a test; 0 when unknown,
// and then the POSIX parent stands in.
DWORD gParentProcessId = 0;

// The process behind each process descriptor this program holds. Like a
// Windows handle, a descriptor keeps naming its process after that process
// has ended, when the kernel no longer tells.
std::map<int, DWORD>& DescriptorProcesses() {
  static std::map<int, DWORD> processes;
  return processes;
}

std::function<void()>& WaitHook() {
  static std::function<void()> hook;
  return hook;
}

bool IsProcessHandle(HANDLE handle) {
  uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  return value >= kProcessHandleBase && value < kProcessHandleLimit;
}

int OpenProcessDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  errno = ENOSYS;
  return -1;
#endif
}

// The program path and its arguments. The path is either quoted or the first
// blank-separated token; the rest is split at blanks.
std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> words;
  size_t pos = commandLine.find_first_not_of(" \t");
  if (pos == std::string::npos) return words;
  if (commandLine[pos] == '"') {
    size_t close = commandLine.find('"', pos + 1);
    if (close == std::string::npos) return words;
    words.push_back(commandLine.substr(pos + 1, close - pos - 1));
    pos = close + 1;
  }
  while (pos < commandLine.size()) {
    size_t start = commandLine.find_first_not_of(" \t", pos);
    if (start == std::string::npos) break;
    size_t end = commandLine.find_first_of(" \t", start);
    if (end == std::string::npos) end = commandLine.size();
    words.push_back(commandLine.substr(start, end - start));
    pos = end;
  }
  return words;
}

// The text after the program's own name: the rest of the command line as
// it stands, so that the started program sees the very text it was given.
std::string ArgumentsOf(const std::string& commandLine) {
  size_t pos = commandLine.find_first_not_of(" \t");
  if (pos == std::string::npos) return "";
  if (commandLine[pos] == '"') {
    size_t close = commandLine.find('"', pos + 1);
    pos = close == std::string::npos ? commandLine.size() : close + 1;
  } else {
    pos = commandLine.find_first_of(" \t", pos);
    if (pos == std::string::npos) pos = commandLine.size();
  }
  size_t start = commandLine.find_first_not_of(" \t", pos);
  return start == std::string::npos ? "" : commandLine.substr(start);
}

// Double fork: the grandchild runs the program in a session of its own and
// is adopted by init, so the starting process never waits for it. A pipe
// that closes on exec tells the parent whether the exec succeeded. The
// program starts in `directory` when one is given.
// The inheritable process descriptors and their processes, for a program
// that inherits them.
std::string InheritedProcessHandles() {
  std::string list;
  for (const auto& [fd, pid] : DescriptorProcesses()) {
    int flags = fcntl(fd, F_GETFD);
    if (flags < 0 || (flags & FD_CLOEXEC) != 0) continue;
    if (!list.empty()) list += ',';
    list += std::to_string(fd) + "=" + std::to_string(pid);
  }
  return list;
}

bool StartDetached(const std::string& path, const std::vector<std::string>& args,
                   const std::string& directory = "", bool inheritHandles = false) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  // The started program is adopted by init, so its POSIX parent is not the
  // process that started it; it learns that process as Windows records it.
  std::string creator = std::to_string(getpid());
  std::string handles = inheritHandles ? InheritedProcessHandles() : "";
  int status[2];
  if (pipe2(status, O_CLOEXEC) != 0) return false;
  pid_t child = fork();
  if (child < 0) {
    close(status[0]);
    close(status[1]);
    return false;
  }
  if (child == 0) {
    close(status[0]);
    setsid();
    pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
    int input = open("/dev/null", O_RDONLY);
    if (input >= 0) dup2(input, 0);
    if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(127);
    setenv(kParentVariable, creator.c_str(), 1);
    if (!handles.empty()) setenv(kHandlesVariable, handles.c_str(), 1);
    execv(path.c_str(), argv.data());
    int error = errno;
    ssize_t ignored = write(status[1], &error, sizeof error);
    (void)ignored;
    _exit(127);
  }
  close(status[1]);
  int childStatus = 0;
  while (waitpid(child, &childStatus, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t n;
  while ((n = read(status[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  close(status[0]);
  return WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0 && n == 0;
}

}  // namespace

bool CloseProcessHandle(HANDLE handle) {
  uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  if (ScriptedProcessHandles().erase(value) > 0) return true;
  if (!IsProcessHandle(handle)) return false;
  int fd = static_cast<int>(value - kProcessHandleBase);
  DescriptorProcesses().erase(fd);
  return close(fd) == 0;
}

void AdoptStartInfo() {
  if (const char* parent = getenv(kParentVariable)) {
    gParentProcessId = static_cast<DWORD>(strtoul(parent, nullptr, 10));
    unsetenv(kParentVariable);
  }
  if (const char* handles = getenv(kHandlesVariable)) {
    int fd = 0;
    unsigned long pid = 0;
    for (const char* p = handles; sscanf(p, "%d=%lu", &fd, &pid) == 2;) {
      DescriptorProcesses()[fd] = static_cast<DWORD>(pid);
      p = strchr(p, ',');
      if (p == nullptr) break;
      ++p;
    }
    unsetenv(kHandlesVariable);
  }
}

DWORD ParentProcessId() {
  return gParentProcessId != 0 ? gParentProcessId : static_cast<DWORD>(getppid());
}

void ResetProcesses() {
  gParentProcessId = 0;
  ScriptedProcessHandles().clear();
  ModuleFileName().clear();
  WaitHook() = nullptr;
}

void MakeRunnable(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  mode_t mode = info.st_mode & 07777;
  mode_t runnable = mode | ((mode & 0444) >> 2);
  if (runnable != mode) chmod(path.c_str(), runnable);
}

}  // namespace standin

using namespace standin;

UINT WinExec(LPCSTR commandLine, UINT showCommand) {
  LogEvent("WinExec|" + Text(commandLine) + "|" + std::to_string(showCommand));
  if (Scripted()) return kStarted;
  std::vector<std::string> words = SplitCommandLine(Text(commandLine));
  std::string path;
  if (words.empty() || !MapPath(words[0].c_str(), &path)) return kFileNotFound;
  MakeRunnable(path);
  if (access(path.c_str(), X_OK) != 0) return kFileNotFound;
  words.erase(words.begin());
  return StartDetached(path, words) ? kStarted : kFileNotFound;
}

void Sleep(DWORD milliseconds) {
  LogEvent("Sleep|" + std::to_string(milliseconds));
  if (Scripted()) return;
  double scale = 1.0;
  const char* text = getenv("SETUP_SLEEP_SCALE");
  if (text != nullptr && text[0] != '\0') {
    char* end = nullptr;
    double value = strtod(text, &end);
    if (*end == '\0' && std::isfinite(value) && value >= 0) scale = value;
  }
  double seconds = milliseconds * scale / 1000.0;
  struct timespec pause;
  pause.tv_sec = static_cast<time_t>(seconds);
  pause.tv_nsec = static_cast<long>((seconds - static_cast<double>(pause.tv_sec)) * 1e9);
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                    LPSECURITY_ATTRIBUTES, BOOL inheritHandles, DWORD, LPVOID,
                    LPCSTR currentDirectory, LPSTARTUPINFOA, LPPROCESS_INFORMATION information) {
  LogEvent("CreateProcessA|" + Text(applicationName) + "|" + Text(commandLine) + "|" +
           Text(currentDirectory) + "|" + std::to_string(inheritHandles));
  if (information != nullptr) *information = PROCESS_INFORMATION();
  std::string program = Text(applicationName);
  if (program.empty()) {
    std::vector<std::string> words = SplitCommandLine(Text(commandLine));
    if (words.empty()) return FALSE;
    program = words[0];
  }
  if (Scripted()) return TRUE;
  std::string path, directory;
  if (!MapPath(program.c_str(), &path)) return FALSE;
  if (currentDirectory != nullptr && !MapPath(currentDirectory, &directory)) return FALSE;
  MakeRunnable(path);
  if (access(path.c_str(), X_OK) != 0) return FALSE;
  // The program gets its arguments as one text, which the stand-in's main()
  // hands to WinMain unchanged. Descriptors of inheritable handles stay open
  // across the start.
  std::string arguments = ArgumentsOf(Text(commandLine));
  std::vector<std::string> args;
  if (!arguments.empty()) args.push_back(arguments);
  return StartDetached(path, args, directory, inheritHandles != FALSE) ? TRUE : FALSE;
}

HANDLE GetCurrentProcess(void) {
  return kCurrentProcess;
}

DWORD GetCurrentProcessId(void) {
  return static_cast<DWORD>(getpid());
}

DWORD GetProcessId(HANDLE process) {
  uintptr_t value = reinterpret_cast<uintptr_t>(process);
  // Scripted handles, like the pseudo handle, stand for this process.
  if (process == kCurrentProcess || ScriptedProcessHandles().count(value) != 0) {
    return GetCurrentProcessId();
  }
  if (IsProcessHandle(process)) {
    int fd = static_cast<int>(value - kProcessHandleBase);
    auto known = DescriptorProcesses().find(fd);
    if (known != DescriptorProcesses().end() && fcntl(fd, F_GETFD) >= 0) return known->second;
    // Else the kernel names the process, while it runs, in the fdinfo.
    std::string info = "/proc/self/fdinfo/" + std::to_string(fd);
    FILE* file = fopen(info.c_str(), "r");
    if (file != nullptr) {
      char line[128];
      long pid = 0;
      while (fgets(line, sizeof line, file) != nullptr) {
        if (sscanf(line, "Pid: %ld", &pid) == 1) break;
      }
      fclose(file);
      if (pid > 0) return static_cast<DWORD>(pid);
    }
  }
  // Anything else, a mutex included, is no process.
  SetError(ERROR_INVALID_HANDLE);
  return 0;
}

BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target,
                     DWORD, BOOL inherit, DWORD) {
  // Only what a program needs to hand itself over: a real handle to the
  // calling process, made in the calling process.
  if (sourceProcess != kCurrentProcess || source != kCurrentProcess ||
      targetProcess != kCurrentProcess || target == nullptr) {
    return FALSE;
  }
  if (Scripted()) {
    gNextScriptedHandle += 4;
    ScriptedProcessHandles().insert(gNextScriptedHandle);
    *target = reinterpret_cast<HANDLE>(gNextScriptedHandle);
    return TRUE;
  }
  int fd = OpenProcessDescriptor(getpid());
  if (fd < 0) return FALSE;
  DescriptorProcesses()[fd] = GetCurrentProcessId();
  int flags = fcntl(fd, F_GETFD);
  if (flags < 0 || fcntl(fd, F_SETFD, inherit ? flags & ~FD_CLOEXEC : flags | FD_CLOEXEC) != 0 ||
      static_cast<uintptr_t>(fd) >= kProcessHandleLimit - kProcessHandleBase) {
    close(fd);
    return FALSE;
  }
  *target = reinterpret_cast<HANDLE>(kProcessHandleBase + static_cast<uintptr_t>(fd));
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  size_t slot = ReserveEvent();
  std::string prefix = "WaitForSingleObject|" +
                       std::to_string(reinterpret_cast<uintptr_t>(handle)) + "|" +
                       std::to_string(milliseconds) + "|";
  DWORD result = WAIT_FAILED;
  if (IsMutexHandle(handle)) {
    // Waitable, and free whenever this program waits for it.
    result = WAIT_OBJECT_0;
  } else if (Scripted()) {
    if (ScriptedProcessHandles().count(reinterpret_cast<uintptr_t>(handle)) != 0) {
      std::function<void()> hook = std::move(WaitHook());
      WaitHook() = nullptr;
      if (hook) hook();
      result = WAIT_OBJECT_0;
    }
  } else if (IsProcessHandle(handle)) {
    struct pollfd ended = {
        static_cast<int>(reinterpret_cast<uintptr_t>(handle) - kProcessHandleBase), POLLIN, 0};
    int timeout = milliseconds == INFINITE || milliseconds > static_cast<DWORD>(INT_MAX)
                      ? -1
                      : static_cast<int>(milliseconds);
    int n;
    while ((n = poll(&ended, 1, timeout)) < 0 && errno == EINTR) {
    }
    if (n > 0 && (ended.revents & POLLNVAL) == 0) result = WAIT_OBJECT_0;
    if (n == 0) result = WAIT_TIMEOUT;
  }
  FillEvent(slot, prefix + std::to_string(result));
  return result;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR name, DWORD size) {
  if (module != nullptr || name == nullptr || size == 0) return 0;
  std::string windowsPath = ModuleFileName();
  if (windowsPath.empty()) {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0 || !UnmapPath(std::string(path, static_cast<size_t>(n)), &windowsPath)) return 0;
  }
  // As on Windows: a name that does not fit is cut, and the size is returned.
  size_t copied = CopyCut(windowsPath, name, size);
  return copied < windowsPath.size() ? size : static_cast<DWORD>(copied);
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  static char kernelTag;
  if (moduleName == nullptr || !EqualNoCase(moduleName, "kernel32.dll")) return nullptr;
  return reinterpret_cast<HMODULE>(&kernelTag);
}

FARPROC GetProcAddress(HMODULE, LPCSTR) {
  return nullptr;
}

void StandinSetModuleFileName(const char* windowsPath) {
  ModuleFileName() = Text(windowsPath);
}

void StandinSetParentProcessId(DWORD processId) {
  gParentProcessId = processId;
}

void StandinOnNextWait(std::function<void()> hook) {
  WaitHook() = std::move(hook);
}
