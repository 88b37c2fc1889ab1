// Starting programs and pausing: WinExec starts the named program detached
// from the setup process; Sleep pauses, scaled by SETUP_SLEEP_SCALE.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "internal.h"

namespace standin {
namespace {

const UINT kStarted = 33;      // any value above 31 means success
const UINT kFileNotFound = 2;  // ERROR_FILE_NOT_FOUND

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

// Double fork: the grandchild runs the program in a session of its own and
// is adopted by init, so the setup process never waits for it. A pipe that
// closes on exec tells the parent whether the exec succeeded.
bool StartDetached(const std::string& path, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
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
