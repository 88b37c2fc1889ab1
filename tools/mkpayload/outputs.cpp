// The output files: checked to be distinct before anything is written, then
// written all or nothing.
#include "mkpayload.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
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

// Temporary files are named OUT.tmp and second names of previous outputs
// OUT.old, each followed by kRandomLength characters of kRandomChars. A
// name is taken only if nothing has it yet (O_EXCL, link), so only its
// uniqueness matters: a name that was guessed and planted is skipped, never
// written through, and a leftover of a run that is gone is never in the way.
const char kRandomChars[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr std::size_t kRandomLength = 6;
constexpr int kNameAttempts = 100;

std::string RandomSuffix() {
  static std::uint64_t state =
      static_cast<std::uint64_t>(getpid()) << 32 ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  std::string out;
  for (std::size_t i = 0; i < kRandomLength; ++i, z /= sizeof kRandomChars - 1) {
    out += kRandomChars[z % (sizeof kRandomChars - 1)];
  }
  return out;
}

bool IsTemporaryName(const std::string& name, const std::string& prefix) {
  if (name.size() != prefix.size() + kRandomLength || name.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  return name.find_first_not_of(kRandomChars, prefix.size()) == std::string::npos;
}

// Whether path still names the file open as fd.
bool NamesFile(const std::string& path, int fd) {
  struct stat named, open;
  return lstat(path.c_str(), &named) == 0 && fstat(fd, &open) == 0 && named.st_dev == open.st_dev &&
         named.st_ino == open.st_ino;
}

// A run holds an exclusive lock on each of its temporary files until it has
// renamed them into place, and the system drops the lock when the process
// ends, however it ends. So a temporary file of path that nobody holds
// locked is a leftover of a run that is gone, whatever its process id now
// names, and is removed. Only regular files are: a link with such a name is
// not followed and stays.
void RemoveLeftoverTemporaries(const std::string& path) {
  fs::path output(path);
  std::string dir = output.has_parent_path() ? output.parent_path().string() : ".";
  std::string prefix = output.filename().string() + ".tmp";
  DIR* listing = opendir(dir.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = readdir(listing)) {
    if (!IsTemporaryName(entry->d_name, prefix)) continue;
    std::string leftover = dir + "/" + entry->d_name;
    int fd = open(leftover.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        NamesFile(leftover, fd)) {
      unlink(leftover.c_str());
    }
    close(fd);
  }
  closedir(listing);
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
    if (!pending.temp.empty()) unlink(pending.temp.c_str());
    if (pending.fd >= 0) close(pending.fd);
    if (pending.lock >= 0) close(pending.lock);
  }
  tempCount = 0;
}

int OutputSet::Create(const std::string& path, std::string* error) {
  RemoveLeftoverTemporaries(path);
  // Listed before the file exists, so that it is removed whatever happens next.
  pending_.push_back({path, "", "", -1});
  Pending& pending = pending_.back();
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    pending.temp = path + ".tmp" + RandomSuffix();
    Remember(pending.temp);
    // O_EXCL: a file or link already under the name is neither written
    // through nor removed; another name is drawn.
    pending.fd = open(pending.temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (pending.fd < 0) {
      int why = errno;
      pending.temp.clear();
      Forget();
      if (why == EEXIST) continue;
      *error = "cannot write " + Quote(path) + ": " + std::strerror(why);
      return -1;
    }
    // Another run's RemoveLeftoverTemporaries may have taken the file for a
    // leftover before the lock: then the lock fails, or the name no longer
    // leads to the file, and that run removes it. Another name is drawn. A
    // file system without locks makes no leftovers removable either.
    int lockError = flock(pending.fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    if (lockError != EWOULDBLOCK && NamesFile(pending.temp, pending.fd)) {
      return static_cast<int>(pending_.size() - 1);
    }
    close(pending.fd);
    pending.fd = -1;
    pending.temp.clear();
    Forget();
  }
  *error = "cannot write " + Quote(path) + ": no free temporary name next to it after " +
           std::to_string(kNameAttempts) + " attempts";
  return -1;
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

bool OutputSet::Read(int index, std::uint64_t offset, void* data, std::size_t size,
                     std::string* error) {
  const Pending& pending = pending_[static_cast<std::size_t>(index)];
  char* bytes = static_cast<char*>(data);
  while (size > 0) {
    ssize_t n = pread(pending.fd, bytes, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = "cannot read back " + Quote(pending.temp) + ": " +
               (n < 0 ? std::strerror(errno) : "it is shorter than what was written");
      return false;
    }
    bytes += n;
    offset += static_cast<std::uint64_t>(n);
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool OutputSet::Commit(std::string* error) {
  // Each file's lock stays, on a second descriptor, until it is renamed into
  // place; closing the first still reports a write that failed late.
  for (Pending& pending : pending_) {
    pending.lock = dup(pending.fd);
    int rc = pending.lock < 0 ? -1 : close(pending.fd);
    if (pending.lock >= 0) pending.fd = -1;
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
    close(pending.lock);
    pending.lock = -1;
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
    std::string previous;
    int why = EEXIST;
    for (int attempt = 0; attempt < kNameAttempts && why == EEXIST; ++attempt) {
      previous = pending.path + ".old" + RandomSuffix();
      why = link(pending.path.c_str(), previous.c_str()) == 0 ? 0 : errno;
    }
    if (why != 0) {
      *error = "cannot keep the previous " + Quote(pending.path) + " as " + Quote(previous) + ": " +
               std::strerror(why);
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
