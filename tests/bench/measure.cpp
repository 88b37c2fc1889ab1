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
#include <cstdio>

#include "traced_run.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: measure LOG COMMAND [ARG...]\n");
    return 2;
  }
  TracedRun run = RunTraced(argv + 2, argv[1]);
  if (!run.started) return 1;
  std::printf("%.3f %ld %d %.3f\n", run.seconds, run.peakKiB, run.exitCode, run.cpuSeconds);
  return 0;
}
