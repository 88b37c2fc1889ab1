// The output files: checked to be distinct before anything is written, then
// written all or nothing.
#include "mkpayload.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace mkpayload {
namespace {

// A path with ".", ".." and symbolic links in the part that exists resolved,
// and the file's identity where it exists (which also catches hard links).
struct Resolved {
  fs::path path;
  bool exists = false;
  bool regular = false;
  dev_t device = 0;
  ino_t inode = 0;
};

Resolved Resolve(const std::string& path) {
  Resolved out;
  std::error_code ec;
  fs::path absolute = fs::absolute(path, ec);
  if (ec) absolute = path;
  out.path = fs::weakly_canonical(absolute, ec);
  if (ec) out.path = absolute.lexically_normal();
  struct stat info;
  if (stat(path.c_str(), &info) == 0) {
    out.exists = true;
    out.regular = S_ISREG(info.st_mode);
    out.device = info.st_dev;
    out.inode = info.st_ino;
  }
  return out;
}

// The temporary files of the run, for the signal handler: fixed buffers,
// since the handler may neither allocate nor take locks.
constexpr int kMaxTemps = 8;
char temps[kMaxTemps][4096];
volatile std::sig_atomic_t tempCount = 0;

void RemoveTempsAndDie(int signal) {
  for (int i = 0; i < tempCount; ++i) unlink(temps[i]);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Only the last name remembered is forgotten, when it could not be created.
bool remembered = false;

void Remember(const std::string& temp) {
  int count = tempCount;
  remembered = count < kMaxTemps && temp.size() < sizeof temps[0];
  if (!remembered) return;
  std::memcpy(temps[count], temp.c_str(), temp.size() + 1);
  tempCount = count + 1;
}

void Forget() {
  if (remembered) tempCount = tempCount - 1;
  remembered = false;
}

bool SameFile(const Resolved& a, const Resolved& b) {
  return a.path == b.path || (a.exists && b.exists && a.device == b.device && a.inode == b.inode);
}

}  // namespace

bool CheckOutputPaths(const OutputNames& outputs, const std::vector<Input>& inputs,
                      std::string* error) {
  std::vector<Resolved> resolved;
  for (const auto& [option, path] : outputs) resolved.push_back(Resolve(path));
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    // The rename at the end would fail on a directory, after other outputs
    // were replaced, and would replace a device node with a file.
    if (resolved[i].exists && !resolved[i].regular) {
      *error =
          outputs[i].first + " " + Quote(outputs[i].second) + " exists and is not a regular file";
      return false;
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (SameFile(resolved[j], resolved[i])) {
        *error = outputs[j].first + " " + Quote(outputs[j].second) + " and " + outputs[i].first +
                 " " + Quote(outputs[i].second) + " name the same file";
        return false;
      }
    }
    for (const Input& input : inputs) {
      if (SameFile(Resolve(input.path), resolved[i])) {
        *error = outputs[i].first + " " + Quote(outputs[i].second) + " would replace input " +
                 Quote(input.arg);
        return false;
      }
    }
  }
  return true;
}

void RemoveTemporariesOnSignal() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal ignored from the start (a background job's SIGINT) stays ignored.
    if (std::signal(signal, RemoveTempsAndDie) == SIG_IGN) std::signal(signal, SIG_IGN);
  }
}

OutputSet::~OutputSet() {
  for (const Pending& pending : pending_) {
    if (pending.fd >= 0) close(pending.fd);
    if (!pending.temp.empty()) unlink(pending.temp.c_str());
  }
  tempCount = 0;
}

int OutputSet::Create(const std::string& path, std::string* error) {
  // Listed before it exists, so that it is removed whatever happens next.
  pending_.push_back({path, path + ".tmp" + std::to_string(getpid()), "", -1});
  Pending& pending = pending_.back();
  Remember(pending.temp);
  // O_EXCL: a file or link already under the temporary name, stale or
  // planted, is neither written through nor removed.
  pending.fd = open(pending.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (pending.fd < 0) {
    *error = "cannot write " + Quote(path) + ": " +
             (errno == EEXIST ? Quote(pending.temp) + " is in the way" : std::strerror(errno));
    pending.temp.clear();
    Forget();
    return -1;
  }
  return static_cast<int>(pending_.size() - 1);
}

bool OutputSet::Write(int index, const void* data, std::size_t size, std::string* error) {
  const Pending& pending = pending_[static_cast<std::size_t>(index)];
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(pending.fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = "cannot write " + Quote(pending.path) + ": " + std::strerror(n < 0 ? errno : ENOSPC);
      return false;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool OutputSet::Commit(std::string* error) {
  for (Pending& pending : pending_) {
    int rc = close(pending.fd);
    pending.fd = -1;
    if (rc != 0) {
      *error = "cannot write " + Quote(pending.path) + ": " + std::strerror(errno);
      return false;
    }
  }
  // A signal now would split the outputs between two runs; it waits until
  // they are all in place or all put back.
  sigset_t signals, saved;
  sigemptyset(&signals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, &saved);
  bool done = KeepPrevious(error) && RenameAll(error);
  for (Pending& pending : pending_) {
    if (!pending.previous.empty()) unlink(pending.previous.c_str());
  }
  if (done) tempCount = 0;
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  return done;
}

// Gives each output that exists a second name, a hard link, so that a failed
// rename can put it back. A directory gets none: a rename onto it fails.
bool OutputSet::KeepPrevious(std::string* error) {
  for (Pending& pending : pending_) {
    struct stat info;
    if (lstat(pending.path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) continue;
    std::string previous = pending.path + ".old" + std::to_string(getpid());
    if (link(pending.path.c_str(), previous.c_str()) != 0) {
      *error = "cannot keep the previous " + Quote(pending.path) + " as " + Quote(previous) + ": " +
               std::strerror(errno);
      return false;
    }
    pending.previous = previous;
  }
  return true;
}

// Renames every temporary file onto its output. When one fails, the outputs
// renamed before it get their previous files back (or are removed, where
// there was none), so the outputs stay those of one run.
bool OutputSet::RenameAll(std::string* error) {
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    if (std::rename(pending_[i].temp.c_str(), pending_[i].path.c_str()) == 0) {
      pending_[i].temp.clear();
      continue;
    }
    *error = "cannot rename into " + Quote(pending_[i].path) + ": " + std::strerror(errno);
    for (std::size_t j = 0; j < i; ++j) {
      Pending& back = pending_[j];
      bool restored = back.previous.empty()
                          ? unlink(back.path.c_str()) == 0
                          : std::rename(back.previous.c_str(), back.path.c_str()) == 0;
      if (restored) {
        back.previous.clear();
      } else if (!back.previous.empty()) {
        *error += "; the previous " + Quote(back.path) + " is left as " + Quote(back.previous);
        back.previous.clear();  // kept, not removed
      } else {
        *error += "; " + Quote(back.path) + " could not be removed";
      }
    }
    return false;
  }
  return true;
}

}  // namespace mkpayload
