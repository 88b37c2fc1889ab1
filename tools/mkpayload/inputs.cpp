// The input files: what may be packed, checked before anything is read.
#include "mkpayload.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mkpayload {
namespace {

std::string NotRegular(const Input& input) {
  return Quote(input.path) + " is not a regular file";
}

}  // namespace

bool CheckInputFiles(const std::vector<Input>& inputs, std::string* error) {
  std::uint64_t total = 0;
  for (const Input& input : inputs) {
    // stat, not open: opening a FIFO waits for a writer, and opening a
    // device can have effects of its own.
    struct stat info;
    if (stat(input.path.c_str(), &info) != 0) {
      *error = "input " + Quote(input.arg) + ": cannot read " + Quote(input.path) + ": " +
               std::strerror(errno);
      return false;
    }
    if (!S_ISREG(info.st_mode)) {
      *error = NotRegular(input);
      return false;
    }
    std::uint64_t size = static_cast<std::uint64_t>(info.st_size);
    if (size > kMaxPayloadBytes - total) {
      *error = "input " + Quote(input.arg) + ": " + Quote(input.path) + " holds " +
               std::to_string(size) + " bytes, which brings the payload to " +
               std::to_string(total + size) + " bytes; a payload may hold at most " +
               std::to_string(kMaxPayloadBytes) + " bytes (1 GiB) in total";
      return false;
    }
    total += size;
  }
  return true;
}

int OpenInput(const Input& input, std::string* error) {
  int fd = open(input.path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *error = "input " + Quote(input.arg) + ": cannot open " + Quote(input.path) + ": " +
             std::strerror(errno);
    return -1;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    *error = NotRegular(input);
    return -1;
  }
  return fd;
}

}  // namespace mkpayload
