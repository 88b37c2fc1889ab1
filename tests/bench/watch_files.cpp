// Watches a folder for tests/bench/run.sh and times an installer's
// extraction as the file system sees it: from the first file created in the
// folder to the last file closed after writing. Prints figures; asserts
// nothing.
//
//   watch_files DIR
//
// Prints "ready" once it watches, then waits for SIGTERM (sent after the
// installer has ended), reads the events still queued, and prints one line:
// the seconds from the first creation to the last close, the number of files
// created and the number of distinct files closed after writing. The times
// are taken as the events are read, on the monotonic clock.
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

double Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: watch_files DIR\n");
    return 2;
  }
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  sigprocmask(SIG_BLOCK, &stop, nullptr);
  int signals = signalfd(-1, &stop, SFD_CLOEXEC);
  int events = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (signals < 0 || events < 0 ||
      inotify_add_watch(events, argv[1], IN_CREATE | IN_CLOSE_WRITE) < 0) {
    std::perror(argv[1]);
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);

  double first = -1, last = -1;
  long created = 0;
  std::set<std::string> closed;
  alignas(inotify_event) char buffer[64 * 1024];
  for (bool stopping = false;;) {
    pollfd fds[2] = {{events, POLLIN, 0}, {signals, POLLIN, 0}};
    if (!stopping && poll(fds, 2, -1) < 0) continue;
    ssize_t got = read(events, buffer, sizeof buffer);
    double now = Now();
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if ((event->mask & IN_CREATE) != 0) {
        if (first < 0) first = now;
        ++created;
      }
      if ((event->mask & IN_CLOSE_WRITE) != 0 && event->len > 0) {
        last = now;
        closed.insert(event->name);
      }
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    if (got <= 0 && stopping) break;
    if (!stopping && (fds[1].revents & POLLIN) != 0) stopping = true;
  }
  std::printf("%.4f %ld %zu\n", first >= 0 && last >= first ? last - first : -1.0, created,
              closed.size());
  return 0;
}
