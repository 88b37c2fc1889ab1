// Runs a program and measures it, for the benchmarks: wall and CPU time and
// the program's own peak resident memory. The child is traced only to stop
// it as it exits, where its peak (VmHWM) is read: the ru_maxrss that wait4
// reports also counts the memory of the measuring process, which the child
// shared until its exec.
#ifndef TIDEWELL_TESTS_BENCH_TRACED_RUN_H
#define TIDEWELL_TESTS_BENCH_TRACED_RUN_H

#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

struct TracedRun {
  bool started = false;   // the child could be started and waited for
  int exitCode = -1;      // 128 + the signal's number when a signal ended it
  double seconds = 0;     // wall time
  double cpuSeconds = 0;  // user and system time of all its threads
  long peakKiB = -1;      // VmHWM as it exited; -1 when it could not be read
  long maxRssKiB = 0;     // wait4's ru_maxrss, an upper bound
};

inline long HighWaterKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string status((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t at = status.find("VmHWM:");
  return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

// Runs argv (a null-terminated list; argv[0] is looked up on PATH) with its
// output in the file `log`, or on this program's output when `log` is null.
inline TracedRun RunTraced(char* const argv[], const char* log) {
  TracedRun run;
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    if (log != nullptr) {
      int fd = open(log, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0) _exit(126);
    }
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    execvp(argv[0], argv);
    _exit(127);
  }
  if (child < 0) return run;
  int status = 0;
  rusage usage{};
  for (;;) {
    if (wait4(child, &status, 0, &usage) != child) return run;
    if (!WIFSTOPPED(status)) break;
    int signal = WSTOPSIG(status);
    if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
      run.peakKiB = HighWaterKiB(child);
      signal = 0;
    } else if (signal == SIGTRAP) {  // the stop after exec
      ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACEEXIT);
      signal = 0;
    }
    ptrace(PTRACE_CONT, child, nullptr, signal);
  }
  std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  run.started = true;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.seconds = wall.count();
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.maxRssKiB = usage.ru_maxrss;
  return run;
}

#endif  // TIDEWELL_TESTS_BENCH_TRACED_RUN_H
