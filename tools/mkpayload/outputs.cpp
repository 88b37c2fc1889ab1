// The output files: checked to be distinct before anything is written, then
// written all or nothing.
#include "mkpayload.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
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

void Remember(const std::string& temp) {
  int count = tempCount;
  if (count >= kMaxTemps || temp.size() >= sizeof temps[0]) return;
  std::memcpy(temps[count], temp.c_str(), temp.size() + 1);
  tempCount = count + 1;
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
  pending_.push_back({path, path + ".tmp" + std::to_string(getpid()), -1});
  Pending& pending = pending_.back();
  Remember(pending.temp);
  pending.fd = open(pending.temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (pending.fd < 0) {
    *error = "cannot write " + Quote(path) + ": " + std::strerror(errno);
    pending.temp.clear();
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
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    if (std::rename(pending_[i].temp.c_str(), pending_[i].path.c_str()) != 0) {
      *error = "cannot rename into " + Quote(pending_[i].path) + ": " + std::strerror(errno);
      // Outputs already renamed would pair with stale ones; remove them too.
      for (std::size_t j = 0; j < i; ++j) unlink(pending_[j].path.c_str());
      return false;
    }
    pending_[i].temp.clear();
  }
  tempCount = 0;
  return true;
}

}  // namespace mkpayload
