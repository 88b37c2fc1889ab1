// Runs a command and prints its wall time, its peak memory and its exit
// status, for tests/bench/run.sh. Prints figures; asserts nothing.
//
//   measure LOG COMMAND [ARG...]
//
// The command's output goes to LOG. Printed on one line: wall seconds, the
// command's own peak resident memory in KiB (VmHWM, read as it exits: the
// child is traced only to stop it there, since wait4's ru_maxrss also counts
// this program's memory, which the child shared until its exec), the exit
// status (128 + the signal's number when a signal ended it), and the CPU
// seconds of all its threads, which other work on the machine moves less
// than the wall time.
#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

long HighWaterKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string status((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t at = status.find("VmHWM:");
  return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: measure LOG COMMAND [ARG...]\n");
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    int log = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (log < 0 || dup2(log, 1) < 0 || dup2(log, 2) < 0) _exit(126);
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  if (child < 0) return 1;
  long peak = -1;
  int status = 0;
  rusage usage{};
  for (;;) {
    if (wait4(child, &status, 0, &usage) != child) return 1;
    if (!WIFSTOPPED(status)) break;
    int signal = WSTOPSIG(status);
    if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
      peak = HighWaterKiB(child);
      signal = 0;
    } else if (signal == SIGTRAP) {  // the stop after exec
      ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACEEXIT);
      signal = 0;
    }
    ptrace(PTRACE_CONT, child, nullptr, signal);
  }
  std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::printf("%.3f %ld %d %.3f\n", wall.count(), peak, code, cpu);
  return 0;
}
