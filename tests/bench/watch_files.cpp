// Watches a folder for tests/bench/run.sh and times an installer's
// extraction as the file system sees it: from the first file created in the
// folder (or in a folder made inside it, such as the setup's staging
// folder) to the moment the last file is in place: closed after writing in
// the folder itself, moved into it, or, for a staging folder, the folder
// removed at the end. Prints figures; asserts nothing.
//
//   watch_files DIR
//
// Prints "ready" once it watches, then waits for SIGTERM (sent after the
// installer has ended), reads the events still queued, and prints one line:
// the seconds from the first creation to the last file in place, the number
// of files created (in DIR and its subfolders) and the number of distinct
// files that came into DIR, closed after writing there or moved in. The
// times are taken as the events are read, on the monotonic clock.
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

const uint32_t kWatched = IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE;

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
  int top = events < 0 ? -1 : inotify_add_watch(events, argv[1], kWatched);
  if (signals < 0 || events < 0 || top < 0) {
    std::perror(argv[1]);
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);

  double first = -1, last = -1;
  long created = 0;
  std::set<std::string> arrived;
  alignas(inotify_event) char buffer[64 * 1024];
  for (bool stopping = false;;) {
    pollfd fds[2] = {{events, POLLIN, 0}, {signals, POLLIN, 0}};
    if (!stopping && poll(fds, 2, -1) < 0) continue;
    ssize_t got = read(events, buffer, sizeof buffer);
    double now = Now();
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      bool inTop = event->wd == top;
      bool folder = (event->mask & IN_ISDIR) != 0;
      if ((event->mask & IN_CREATE) != 0) {
        if (first < 0) first = now;
        if (!folder) ++created;
        // A folder made inside is watched too: its files are counted as
        // created, and its removal ends the extraction.
        if (folder && inTop) {
          inotify_add_watch(events, (std::string(argv[1]) + "/" + event->name).c_str(), kWatched);
        }
      }
      if (inTop && event->len > 0 && !folder &&
          (event->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) != 0) {
        last = now;
        arrived.insert(event->name);
      }
      if (inTop && folder && (event->mask & IN_DELETE) != 0) last = now;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    if (got <= 0 && stopping) break;
    if (!stopping && (fds[1].revents & POLLIN) != 0) stopping = true;
  }
  std::printf("%.4f %ld %zu\n", first >= 0 && last >= first ? last - first : -1.0, created,
              arrived.size());
  return 0;
}
